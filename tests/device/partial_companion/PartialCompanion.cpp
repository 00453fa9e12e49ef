// A companion library with only one of its two functions.
extern "C" __attribute__((visibility("default"))) int CreateAppFolder(const char*, const char*, const char*) {
    return 7;
}
