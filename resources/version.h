// The program's version: the one place that holds it. Read by the resource
// script (version resource, dialog captions) and by the code (message box
// caption), so that what the user sees and the file properties agree. The
// manifest's assemblyIdentity repeats it; tools/check_release.py compares them.
#ifndef TAMSEL_VERSION_H
#define TAMSEL_VERSION_H

#define TAMSEL_VERSION_MAJOR 1
#define TAMSEL_VERSION_MINOR 12

// Each text is one string literal: Microsoft's resource compiler does not
// join adjacent ones in a dialog caption.
#define TAMSEL_STRINGIZE_(x) #x
#define TAMSEL_STRINGIZE(x) TAMSEL_STRINGIZE_(x)
#define TAMSEL_VERSION_TEXT TAMSEL_STRINGIZE(TAMSEL_VERSION_MAJOR.TAMSEL_VERSION_MINOR)
// The blanks in the caption are its own.
// clang-format off
#define TAMSEL_CAPTION TAMSEL_STRINGIZE(Tamsel (Ver TAMSEL_VERSION_MAJOR.TAMSEL_VERSION_MINOR))
// clang-format on

#endif
