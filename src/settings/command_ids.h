// Fixed command ids of the main window's menus.
#ifndef GLIMRA_COMMAND_IDS_H
#define GLIMRA_COMMAND_IDS_H

enum MainCommandId
{
    ID_OPEN = 10008,
    ID_LOAD_MASK = 20008,
    ID_EXIT = 10009,
    ID_PROJECTION_MENU = 10910,
    ID_PERSPECTIVE = 10710,
    ID_ORTHOGONAL = 10810,
    ID_VIEW_MENU = 10620,
    ID_VIEW_FRONT = 10110,
    ID_VIEW_BACK = 10210,
    ID_VIEW_LEFT = 10310,
    ID_VIEW_RIGHT = 10410,
    ID_VIEW_TOP = 10510,
    ID_VIEW_BOTTOM = 10610,
    ID_FRAME_RATE = 10010,
    ID_TRANSFER_FUNCTION = 10011,
    ID_SETTINGS = 10020,
    ID_BACKGROUND = 10320,
    ID_DRAW_STYLE_MENU = 10012,
    ID_STYLE_2D = 20012,
    ID_STYLE_2D_MULTI = 22212,
    ID_STYLE_3D_OAS = 30012,
    ID_STYLE_3D_VAS = 40012,
    ID_STYLE_NORMAL_TEXTURE = 50012,
    ID_STYLE_NORMAL_FRAGMENT = 56612,
    ID_STYLE_LIGHT_GRADMAG = 60012,
    ID_STYLE_LIGHT2 = 56613,
    ID_STYLE_RAY_CASTING = 56611,
    ID_STYLE_FOCUS_CONTEXT = 57612,
    ID_STYLE_MULTI_VOLUME = 57613,
    ID_BLENDING_MENU = 10014,
    ID_BLEND = 20014,
    ID_MAXIMUM = 30014,
    ID_MINIMUM = 40014,
    ID_VISIBILITY_MENU = 10013,
    ID_SHOW_BBOX = 20013,
    ID_SHOW_VOLUME = 30013,
    ID_SHOW_SLICES = 40013,
    ID_SHOW_BRICKS = 40113,
    ID_RELOAD = 10015,
    ID_CREATE_CLIP_PLANE = 10016,
    ID_DELETE_ALL_PLANES = 10017,
    ID_DATA_INFO = 10019,
    ID_ABOUT = 10119,
    ID_CLIP_PLANE_MENU_BASE = 11000, // + n for plane n
    ID_SAVE_PICTURE = 10030,         // File > "Save Picture..."
    ID_SAVE_TURNTABLE = 10031,       // File > "Save Turntable..."
    ID_OPEN_FOLDER = 10032,          // File > "Open Folder..."
    ID_ORIENTATION_MARKER = 10060,   // View > "Orientation Marker"
    ID_COLOUR_BAR = 10061,           // View > "Colour Bar"
    ID_RECENT_MENU = 10039,          // File > "Open Recent"
    ID_RECENT_FIRST = 10040,         // ... + k for its k-th file (0 the newest), 8 of them
};

// Per-plane command ids: n * 10000 + offset, n = 1..6.
enum ClipPlaneCommandOffset
{
    CLIP_INVERT = 201,
    CLIP_ROTATE = 301,
    CLIP_TRANSLATE = 701,
    CLIP_RESET = 401,
    CLIP_DRAW = 501,
    CLIP_DELETE = 601,
};

inline int clipPlaneCommandId(int n, int offset) { return n * 10000 + offset; }

#endif
