// Placeholder module entry; replaced by the module surface.
#include "py/ref.h"

static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_tarmelix", nullptr, 0, nullptr,
                                 nullptr, nullptr, nullptr, nullptr};

PyMODINIT_FUNC PyInit__tarmelix() { return PyModuleDef_Init(&module_def); }
