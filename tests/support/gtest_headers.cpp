// The translation unit GoogleTest's precompiled header is made from; the
// test programs reuse it (tests/CMakeLists.txt).
