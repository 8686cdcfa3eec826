# Every library Tolvex uses, found once here so that the set-up is settled
# for all layers. The Debian packages that provide them are listed in
# scripts/install-deps.sh.

find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent DBus Network Svg Test)
find_package(QCoro6 REQUIRED COMPONENTS Core)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(PkgConfig REQUIRED)

pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)
pkg_check_modules(SUIL REQUIRED IMPORTED_TARGET suil-0)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswresample)
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(PORTAUDIO REQUIRED IMPORTED_TARGET portaudio-2.0)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(PIPEWIRE REQUIRED IMPORTED_TARGET libpipewire-0.3)

find_program(CLANG_FORMAT_EXECUTABLE NAMES clang-format clang-format-14)
