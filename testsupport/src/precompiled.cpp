// The translation unit that compiles the tests' shared headers
// (testsupport/CMakeLists.txt); it has no code of its own.
