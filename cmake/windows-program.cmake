# The Windows program: the portable core, its Win32 side and the resources.
# Until the Win32 side exists, the core alone is compiled so that it stays portable.
