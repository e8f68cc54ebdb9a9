// The transfer-function editor without the toolkit: command ids of its
// window, the mapping between view pixels and table coordinates, the mouse
// rules, zoom and pan, typed points, and the window's actions on the transfer function.
#ifndef GLIMRA_TRANSFER_EDITOR_H
#define GLIMRA_TRANSFER_EDITOR_H

#include <cstdint>
#include <string>
#include <vector>

class CurveHistory;
class TransferFunction;

// Fixed ids of the transfer-function window's menus and controls.
enum TransferCommandId
{
    ID_TF_SAVE_FILE = 12000,
    ID_TF_READ_HEADER = 12001,
    ID_TF_SAVE_HEADER = 12002,
    ID_TF_EXIT = 12003,
    ID_TF_RESET_ALL = 12004,
    ID_TF_RESET_SELECTED = 12005,
    ID_TF_READ_FILE = 12006,
    ID_TF_RED = 12100,
    ID_TF_GREEN = 12200,
    ID_TF_BLUE = 12300,
    ID_TF_ALPHA = 12400,
    ID_TF_CURVE_KIND = 12500,
    ID_TF_PRE_CLASSIFICATION = 12800,
    ID_TF_POST_CLASSIFICATION = 12900,
    ID_TF_PRE_INTEGRATION = 12910,
    ID_TF_PRE_INTEGRATION_FILE = 12911, // no item issues it
    ID_TF_SHOW_PALETTE = 12920,
    ID_TF_SHOW_FUNCTION = 12930,
    ID_TF_SHOW_GRID = 12940,
    ID_TF_SHOW_HULL = 12950,
    ID_TF_HISTOGRAM_SCALE = 12960,
    ID_TF_ZOOM = 12970,
    ID_TF_PAN = 12980,
    ID_TF_LABEL_LEFT = 12990,
    ID_TF_LABEL_MIDDLE = 12991,
    ID_TF_LABEL_RIGHT = 12992,
    ID_TF_EDIT_X = 13000,
    ID_TF_EDIT_Y = 13010,
    ID_TF_REBUILD = 13820, // no item issues it
    ID_TF_SHOW_LOG_HISTOGRAM = 13090, // "Show" > "Logarithmic histogram"
    ID_TF_FIT_TO_DATA = 13100,     // "Presets" > "Fit to data"
    ID_TF_PRESET_FIRST = 13101,    // the presets, in the order of their menu
    ID_TF_PRESET_LAST = 13164,
    ID_TF_COLOURS_BOX = 1111,
    ID_TF_POSITION_BOX = 84,
    ID_TF_POSITION_X_LABEL = 87,
    ID_TF_POSITION_Y_LABEL = 83,
    ID_TF_POSITION_X = 85,
    ID_TF_POSITION_Y = 86,
    ID_TF_ZOOM_LABEL = 116,
    ID_TF_PAN_LABEL = 117,
    ID_TF_EDIT_BOX = 10124,
    ID_TF_EDIT_X_LABEL = 10125,
    ID_TF_EDIT_Y_LABEL = 10126,
};

// The "&Classification" item of classification c; 0 for 4, which has none.
int classificationCommandId(int c);
// The classification an item or routed id selects; 0 for other ids.
int classificationForCommandId(int id);
// The channel (0 red .. 3 alpha) of a channel check box; -1 for other ids.
int channelForCommandId(int id);
// The curve kind of a selection of the "Curve" box: 0 and 2 as they are,
// anything else Bezier.
int curveKindForSelection(int selection);
// The selection that shows a curve kind; kinds outside 0..2 show as Bezier.
int selectionForCurveKind(int kind);

// View pixels to table coordinates and back. The value axis starts 10
// pixels above the bottom edge, one pixel per value.
struct EditorMapping
{
    int width = 276;             // client size in pixels
    int height = 276;
    float firstVisible = -10.0f; // table position at the left edge
    float visibleCount = 276.0f; // table entries across the view

    // trunc(mouseX / width * visibleCount + firstVisible).
    int tableX(int mouseX) const;
    // height - mouseY - 10 (mouseY counted from the top).
    int valueY(int mouseY) const;
    // The pixel column of table position x (0 at the left edge).
    float pixelX(float x) const;
};

// One mouse event reduced to what the editor's rules need.
struct EditorMouse
{
    enum Button { NONE, LEFT, MIDDLE, RIGHT };
    bool press = false;     // a button went down
    bool release = false;   // a button went up
    Button button = NONE;   // which one, for presses and releases
    bool dragging = false;  // motion with a button held
    bool leftDown = false;  // the left button is held
    int x = 0;              // position in view pixels, from the top left
    int y = 0;
};

// What the window shows after a mouse event.
struct EditorMouseResult
{
    int x = 0;             // table position under the cursor
    int y = 0;             // value under the cursor
    bool edited = false;   // a press, drag or release: rebuild and upload the tables
    int channel = -1;      // a left press found this channel's point (0 red .. 3 alpha)
    int point = -1;        // and this point of it
    int pointX = 0;        // whose coordinates go to the edit boxes
    int pointY = 0;
};

// The mouse rules on every selected channel: a left press picks the points
// under the cursor, or adds one where none is; a left drag moves what was
// picked; a right press deletes the picked interior point; a release ends
// every pick. history, when given, records each press-to-release as one step.
EditorMouseResult editorMouse(TransferFunction& tf, const EditorMapping& map, const EditorMouse& e,
                              CurveHistory* history);

// The zoom slider S (table entries shown) and the pan slider P (first entry
// shown). The view shows 10 entries of margin on each side.
class ZoomPan
{
public:
    // S at its maximum, P at 0: the whole table.
    void reset(int tableSize);
    // S, kept inside 64..tableSize; P is kept inside its new range.
    void setShown(int s);
    // P, kept inside 0..tableSize - S.
    void setFirst(int p);
    // S and P showing the entries the data use: from the first to the last
    // bin of counts (one per table entry) that holds values, at least 64
    // entries; the whole table when there are none.
    void fitTo(const std::vector<uint64_t>& counts);

    int tableSize() const { return myTableSize; }
    int shown() const { return myShown; }
    int first() const { return myFirst; }
    int shownMin() const;
    int firstMax() const { return myTableSize - myShown; }
    // The view's first table position and count, with the margins.
    int viewOffset() const { return myFirst - 10; }
    int viewCount() const { return myShown + 20; }
    // Axis labels: left, middle, right.
    int labelLeft() const { return myFirst; }
    int labelMiddle() const { return myFirst + myShown / 2; }
    int labelRight() const { return myFirst + myShown; }

private:
    int myTableSize = 256; // entries of the transfer function's tables
    int myShown = 256;     // S
    int myFirst = 0;       // P
};

// The view's mapping and every curve's own view follow the sliders: the
// view shows (P - 10, S + 20) across map.width pixels.
void applyEditorView(const ZoomPan& zoom, EditorMapping& map, TransferFunction* tf);

// A point typed into the edit boxes.
struct TypedPoint
{
    enum Outcome { NO_POINT, NOT_NUMBERS, REFUSED, ACCEPTED };
    Outcome outcome = NO_POINT;
    int x = 0; // what the boxes show afterwards: the point as it now is
    int y = 0;
};

// Parses a decimal integer with optional blanks around it; false for
// anything else, including values outside the int range.
bool parseTypedInteger(const std::string& text, int& value);

// Point `point` of channel `channel` takes the typed coordinates: the value
// is clamped to 0..255, an interior point must stay between its neighbours
// and the end points keep their position. Refused and unparsable input
// leaves the curve alone. history, when given, records an accepted change.
TypedPoint applyTypedPoint(TransferFunction& tf, int channel, int point, const std::string& xText,
                           const std::string& yText, CurveHistory* history);

// The same with x typed in data units (scale maps it to its table entry);
// *shownX then holds the point's x as the box shows it, in data units.
struct DataScale;
TypedPoint applyTypedValue(TransferFunction& tf, int channel, int point, const std::string& xText,
                           const std::string& yText, const DataScale& scale, CurveHistory* history,
                           std::string* shownX);

// ---- the window's actions on the transfer function (the caller uploads and repaints) ----

// Reads a palette or lookup-table file: curves refreshed and tables built
// on success. A damaged file changes nothing; why is then the reason (empty
// when the file could not be opened at all).
bool readTransferFile(TransferFunction& tf, const std::string& path, CurveHistory* history,
                      std::string* why);
// Resets all curves (tables rebuilt whole) or the selected ones.
void resetTransferCurves(TransferFunction& tf, bool all, CurveHistory* history);
// The kind of all four curves; tables rebuilt.
void setTransferCurveKind(TransferFunction& tf, int kind, CurveHistory* history);
// Classification c (1..4) into the render mode, then the tables of c built
// whole. Pre-classification builds only where the palette extensions are
// (the transfer function finds that out when it is made).
void selectTransferClassification(TransferFunction* tf, int c);

#endif
