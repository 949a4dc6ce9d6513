// The translation unit the test programs' precompiled GoogleTest header is
// made from; they reuse it (tests/CMakeLists.txt).
