#include "wx_load.h"

// Placeholders until the load pipeline lands.
bool loadDataWithDialog(const std::string&, std::string*)
{
    return false;
}

bool loadMaskWithDialog(const std::string&)
{
    return false;
}
