/* A demangler without demangle_free: loading it must fail before any output. */
__attribute__((visibility("default"))) char* demangle_ghs_name(const char* mangled) {
  (void)mangled;
  return 0;
}
