# Every external library the project links, found once at the top level so that
# every subsystem folder sees the same imported targets.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(LibXml2 REQUIRED)
find_package(CURL REQUIRED)
find_package(nlohmann_json 3 REQUIRED)

pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET GLOBAL sqlite3)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET GLOBAL icu-uc icu-i18n)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET GLOBAL libplist-2.0)
pkg_check_modules(IMOBILEDEVICE REQUIRED IMPORTED_TARGET GLOBAL libimobiledevice-1.0)
pkg_check_modules(USBMUXD REQUIRED IMPORTED_TARGET GLOBAL libusbmuxd-2.0)

if(TORVANE_BUILD_TESTS OR TORVANE_BUILD_BENCH OR TORVANE_BUILD_FUZZ)
  find_package(GTest REQUIRED)
endif()
if(TORVANE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
