// The Windows API subset that the program uses, for the Linux build.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "guiddef.h"
#include "winuser.h"
#include "wingdi.h"
#include "objbase.h"

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);
