// Test entry: the model's error paths set the interpreter's error indicator, so
// an interpreter runs for the whole test binary.
#include <Python.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    Py_InitializeEx(0);
    const int result = RUN_ALL_TESTS();
    if (Py_FinalizeEx() < 0) {
        return 120;
    }
    return result;
}
