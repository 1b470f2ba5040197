// The version, once, for the code and for the resource compiler (plain
// preprocessor definitions, which both read).
#pragma once

#define TVUNINST_VERSION "1.7"
#define TVUNINST_TITLE "kVelnora Telvarine Uninstaller v" TVUNINST_VERSION
#define TVUNINST_WIDEN_(text) L##text
#define TVUNINST_WIDEN(text) TVUNINST_WIDEN_(text)
