# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which
# std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZANTIR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZANTIR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZANTIR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZANTIR_MINGW_PREFIX}-windres)
# ZANTIR_QT_PREFIX: a Qt built for Windows (scripts/qt-mingw.sh), searched as a root too.
set(CMAKE_FIND_ROOT_PATH /usr/${ZANTIR_MINGW_PREFIX} ${ZANTIR_QT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
