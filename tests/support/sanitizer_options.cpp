// Linked into every test program. GCC's sanitizer runtime (up to GCC 13)
// takes a dynamic TLS block that happens to start 16 bytes into a page for
// one with an old glibc header, reads a bogus range from it and crashes in
// the leak check at exit, after every test has passed: the plugin module the
// tests load has such blocks. Options from the environment still apply on top.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
