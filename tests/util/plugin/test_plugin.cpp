// A plug-in for the loader tests: one C entry point with a known answer.
extern "C" __attribute__((visibility("default"))) int tern_test_plugin_answer(int x) {
    return 40 + x;
}
