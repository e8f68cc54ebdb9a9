// Included ahead of every file of src/io/ in the clang-built fuzz tree. Debian's ITK
// headers were generated for GCC alone and stop any other compiler with
// "Unsupported compiler"; clang takes GCC's feature set, so ITK's compiler
// detection is run once here as if for GCC 12 and its guard keeps it from
// running again. ITK itself stays the GCC-built library.
#if defined(__clang__) && __has_include(<itk_compiler_detection.h>)
#pragma push_macro("__clang__")
#pragma push_macro("__GNUC__")
#pragma push_macro("__GNUC_MINOR__")
#undef __clang__
#undef __GNUC__
#undef __GNUC_MINOR__
#define __GNUC__ 12
#define __GNUC_MINOR__ 2
#include <itk_compiler_detection.h>
#pragma pop_macro("__GNUC_MINOR__")
#pragma pop_macro("__GNUC__")
#pragma pop_macro("__clang__")
#endif
