#include "base/appwindows.h"

namespace varnel
{

namespace
{
AppWindows *g_current = nullptr;
}

AppWindows *AppWindows::current()
{
    return g_current;
}

void AppWindows::setCurrent(AppWindows *windows)
{
    g_current = windows;
}

} // namespace varnel
