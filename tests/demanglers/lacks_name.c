/* A demangler without demangle_ghs_name: loading it must fail before any output. */
__attribute__((visibility("default"))) void demangle_free(char* text) { (void)text; }
