# The Windows program is cross-built with mingw-w64 in a build folder of its
# own (build/win32) when the cross compiler is installed; otherwise skipped.
