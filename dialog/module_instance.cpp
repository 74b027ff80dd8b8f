#include "dialog/module_instance.h"

HINSTANCE g_hInst = nullptr;
