// Draw style and classification with what follows from them: the proxy
// geometry kind (slicing) and the set of shader programs to bind.
#ifndef GLIMRA_RENDER_MODE_H
#define GLIMRA_RENDER_MODE_H

// Rendering techniques; the values are stored in "glimra.ini".
enum DrawStyle
{
    DRAW_2D_TEXTURE = 1,
    DRAW_2D_MULTI_TEXTURE = 2,
    DRAW_3D_TEXTURE_OAS = 3,
    DRAW_3D_TEXTURE_VAS = 4,
    DRAW_RAY_CASTING = 5,
    DRAW_FOCUS_CONTEXT = 6,
    DRAW_FOCUS_CONTEXT_MASK = 7,   // mask pass of focus and context, no menu item
    DRAW_FOCUS_CONTEXT_DILATE = 8, // dilation pass of focus and context, no menu item
    DRAW_NORMAL_TEXTURE = 9,
    DRAW_NORMAL_FRAGMENT = 10,
    DRAW_LIGHT_GRADMAG = 11,
    DRAW_LIGHT2 = 12,
    DRAW_MULTI_VOLUME = 13,
    DRAW_STYLE_FIRST = DRAW_2D_TEXTURE,
    DRAW_STYLE_LAST = DRAW_MULTI_VOLUME,
};

// Proxy geometry.
enum Slicing
{
    SLICING_2D_STACKS = 1,
    SLICING_3D_OBJECT_ALIGNED = 2,
    SLICING_3D_VIEW_ALIGNED = 3,
    SLICING_RAY_CASTING = 4,
};

// Where the transfer function is applied.
enum Classification
{
    CLASSIFICATION_POST = 1,
    CLASSIFICATION_PRE = 2,
    CLASSIFICATION_PRE_INTEGRATION = 3,
    CLASSIFICATION_PRE_INTEGRATION_FILE = 4, // only reachable through the settings file; acts as 3
    CLASSIFICATION_FIRST = CLASSIFICATION_POST,
    CLASSIFICATION_LAST = CLASSIFICATION_PRE_INTEGRATION_FILE,
};

// Compositing rule (volume.blending).
enum BlendingMode
{
    BLENDING_COMPOSITE = 0,
    BLENDING_MAXIMUM = 1,
    BLENDING_MINIMUM = 2,
};


// The shader programs bound for a style and classification. The values are
// the program-set numbers the styles are documented with, so that a number
// read or shown maps 1:1 onto a set.
enum class ProgramSet
{
    None = 0,                       // fixed function: pre-classification, paletted textures
    Post = 1,                       // slicing styles, post-classification
    NormalTexture = 2,              // "3D Normal (texture)"
    LightGradMag = 3,               // "3D Light (grad. mag.)"
    NormalFragment = 4,             // "3D Normal (fragment)"
    Light2 = 5,                     // "3D Light 2"
    PreIntegration = 6,             // slicing styles, pre-integration
    RayCasting = 7,                 // "Ray Casting"
    FocusContext = 8,               // "Focus and Context", main pass
    FocusContextMask = 9,           // its mask pass
    FocusContextDilate = 10,        // its dilation pass
    MultiTexturePost = 11,          // "2D Multi Texture", post-classification
    MultiTexturePreIntegration = 12, // "2D Multi Texture", pre-integration
    MultiVolumePost = 13,           // "Multi Volume", post- or pre-classification
    MultiVolumePreIntegration = 14, // "Multi Volume", pre-integration
};
const int kProgramSetCount = 15;

class RenderMode
{
public:
    // The program's one object, created with the defaults on first use.
    static RenderMode& instance();

    // Stand-alone values (settings records, tests); the program uses instance().
    RenderMode() = default;

    // Stores s when it is a draw style (1..13); re-derives slicing and the
    // program set in any case.
    void setDrawStyle(int s);
    // Stores c when it is a classification (1..4); re-derives the program set.
    void setClassification(int c);

    int getDrawStyle() const { return drawStyle; }
    int getSlicing() const { return slicing; }
    int getClassification() const { return classification; }
    ProgramSet getProgramSet() const { return programSet; }

    // The program set of a style/classification pair; none for anything
    // outside the table.
    static ProgramSet programSetFor(int style, int classification);
    // Slicing after choosing style when the previous slicing was previous.
    static int slicingFor(int style, int previous);

private:
    int drawStyle = DRAW_2D_TEXTURE;
    int slicing = SLICING_2D_STACKS;
    int classification = CLASSIFICATION_POST;
    ProgramSet programSet = ProgramSet::None; // derived by the first set call
};

// The "Draw Style" menu command of a style; the two focus-and-context passes
// map to "2D Texture". 0 for values that are no style.
int drawStyleCommandId(int style);
// The style a "Draw Style" menu command selects; 0 for other ids.
int drawStyleForCommandId(int id);
// The "Blending" menu command of a compositing rule; values outside the three
// rules composite as blending and map to it.
int blendingCommandId(int blending);

#endif
