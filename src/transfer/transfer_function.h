// The transfer function: four channel curves turned into the RGBA palette and
// the pre-integration table, their textures in the main view's context,
// palette and lookup-table files, and the formats of the volume textures.
#ifndef GLIMRA_TRANSFER_FUNCTION_H
#define GLIMRA_TRANSFER_FUNCTION_H

#include "curve.h"
#include "includegl.h"
#include "texture_formats.h"

#include <string>
#include <vector>

struct PreintWorkspace;

enum Channel
{
    CHANNEL_RED = 0,
    CHANNEL_GREEN = 1,
    CHANNEL_BLUE = 2,
    CHANNEL_ALPHA = 3,
};

class TransferFunction
{
public:
    // Without GL: tables only, no textures and no driver queries (tests and
    // tools). maxTextureSize then stands in for GL_MAX_TEXTURE_SIZE.
    struct NoGL
    {
        int maxTextureSize = 16384;
    };

    // Needs a current OpenGL context: creates the two textures in it.
    explicit TransferFunction(int n = 256);
    TransferFunction(int n, NoGL noGL);
    ~TransferFunction();
    TransferFunction(const TransferFunction&) = delete;
    TransferFunction& operator=(const TransferFunction&) = delete;

    // n entries (256 for fewer than 2, 256 when n exceeds the texture
    // size); the curves keep their kinds and take the editor's width
    // (256 while it is closed), the tables are rebuilt, not uploaded. True
    // when the size changed.
    bool resize(int n, int editorWidth = 0);
    // Recomputes the table of the current classification; with all false
    // only the selected channels, the rest of the table stays as it is.
    void build(bool all);
    // Recomputes only the alpha channel.
    void rebuildAlpha();
    // Loads the current table into the main view's textures or the shared
    // palette; the main view's context must be current.
    void upload();
    // The same into the texture names of another context.
    void uploadTo(GLuint paletteTex, GLuint preintTex);
    // Every curve recomputes its table from its points.
    void refreshCurves();
    void resetAll();
    void resetSelected();
    // textureInternalFormat and textureFormat for voxels of type t with k channels.
    void chooseTextureFormat(GLenum t, int k);
    // glPixelTransferi(GL_INDEX_SHIFT, 0).
    void resetIndexShift();
    void setFileName(const std::string& name) { fileName = name; }
    // The curves came from a palette or lookup table the user read: a data
    // load keeps them instead of fitting its first guess. A palette file
    // read sets it; resetAll and a change of the table size clear it.
    bool userCurves() const { return myUserCurves; }
    void setUserCurves(bool on) { myUserCurves = on; }
    const std::string& getFileName() const { return fileName; }

    // ---- palette (".pal") and lookup-table files ----

    // True when the path ends in ".pal" (case-sensitive).
    static bool isPaletteName(const std::string& path);
    // Writes the format the name selects; false when the file cannot be written.
    bool writeFile(const std::string& path) const;
    // Replaces the four curves' points (all linear afterwards). False, with
    // nothing changed, when the file cannot be opened, a lookup table has the
    // wrong size, or a palette file is damaged; why (when given) then receives
    // the logged reason, or stays empty when the file could not be opened.
    // The caller refreshes the curves, builds and uploads.
    bool readFile(const std::string& path, std::string* why = nullptr);

    // ---- channel operations on every selected curve ----

    bool hitTest(int x, int y);
    void addPoint(int x, int y);
    void drag(int x, int y);
    void deletePoint();
    // Point i of the first selected curve.
    bool getPoint(int i, int& x, int& y) const;
    // Point i of every selected curve; x and y come back as the last curve took them.
    bool setPoint(int i, int& x, int& y);
    void setCurveKind(int kind);
    void setView(int offset, int count, int width);

    // ---- accessors ----

    int getTableSize() const { return tableSize; }
    int getMaxTextureSize() const { return maxTextureSize; }
    bool isSelected(int c) const { return selected[c]; }
    void setSelected(int c, bool on) { selected[c] = on; }
    bool getShowHull() const { return showHull; }
    void setShowHull(bool on) { showHull = on; }
    bool getShowFunction() const { return showFunction; }
    void setShowFunction(bool on) { showFunction = on; }
    bool isPaletted() const { return paletted; }
    Curve& curve(int c) { return curves[c]; }
    const Curve& curve(int c) const { return curves[c]; }
    const unsigned char* getPalette() const { return palette; }
    const unsigned char* getPreintTable() const { return palette_preint; }
    const unsigned char* getIdentityPalette() const { return identityPalette; }
    const int* getSums(int c) const { return sum_help[c]; }
    GLuint getPaletteTexture() const { return paletteTexture; }
    GLuint getPreintTexture() const { return preintTexture; }
    // How many times the tables went to their textures: a new count means a new palette.
    unsigned long getUploadCount() const { return myUploads; }


private:
    void construct(int n, bool withGL, int maxSize);
    void allocateTables();
    void releaseTables();
    void buildPalette(bool all);
    void buildPreintegration(bool all);
    // Alpha after the slice-distance correction, for a table value 0..255.
    unsigned char correctedAlpha(unsigned char value, float r) const;
    float alphaCorrectionExponent() const;
    void uploadTables(GLuint paletteTex, GLuint preintTex);

    bool selected[4];                // channels being edited: red, green, blue, alpha
    bool showHull;                   // draw the control polygons in the editor
    bool paletted;                   // both palette extensions are there
    bool showFunction;               // draw the curves and points in the editor
    std::string fileName;            // last loaded data file
    GLuint paletteTexture;           // palette as tableSize x 1 (main view)
    GLuint preintTexture;            // pre-integration table as tableSize x tableSize (main view)
    unsigned long myUploads = 0;     // table uploads so far
    bool myUserCurves = false;       // the curves are a palette the user read
    unsigned char identityPalette[256 * 4]; // entry i = (i, i, i, i)
    unsigned char* palette;          // tableSize RGBA entries
    unsigned char* palette_preint;   // tableSize x tableSize RGBA entries, row-major, symmetric
    int* sum_help[4];                // running sums of the channel tables
    Curve curves[4];                 // red, green, blue, alpha
    int tableSize;                   // 256, or 4096 for 12-bit data
    int maxTextureSize;              // GL_MAX_TEXTURE_SIZE at construction
    bool myGL;                       // textures exist (constructed with a context)
    PreintWorkspace* myPreint;       // weights and sums of the fast table build
};

// The program's one transfer function, created by the main view.
extern TransferFunction* transfer;

// "-p" at start-up: reads the file into transfer, makes every curve linear
// (also when the file is refused), refreshes and builds. The caller makes the
// main view's context current and uploads. False when there is no transfer
// function or the file was refused.
bool loadPaletteAtStartup(const std::string& path);

// The four point blocks of a palette file as written: x 0 ... 1, y 0 ...
// 255 (red, green, blue, alpha); false when it cannot be read or a block
// is damaged.
bool readPalettePoints(const std::string& path, std::vector<CurvePoint> points[4]);

#endif
