/* Hand-written C loops making the same checks as the membership benchmark's
   workloads: the floor is_valid is measured against. Built for the benchmark
   environment only by scripts/bench.sh; never shipped, never tested. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

/* A field's kind: 0 int, 1 str, 2 float. */
static int kind_ok(PyObject *value, long kind) {
  switch (kind) {
    case 0: return PyLong_Check(value);
    case 1: return PyUnicode_Check(value);
    default: return PyFloat_Check(value);
  }
}

static int read_kinds(PyObject *kinds, long *out, Py_ssize_t n) {
  if (!PyTuple_Check(kinds) || PyTuple_GET_SIZE(kinds) != n || n > 64) {
    PyErr_SetString(PyExc_ValueError, "kinds: a tuple as long as names, at most 64");
    return -1;
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    out[i] = PyLong_AsLong(PyTuple_GET_ITEM(kinds, i));
    if (out[i] == -1 && PyErr_Occurred()) return -1;
  }
  return 0;
}

static int check_list(PyObject *list) {
  if (!PyList_Check(list)) {
    PyErr_SetString(PyExc_TypeError, "a list");
    return -1;
  }
  return 0;
}

/* ints(list): PyLong_Check per item. */
static PyObject *floor_ints(PyObject *self, PyObject *list) {
  if (check_list(list) < 0) return NULL;
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (!PyLong_Check(PyList_GET_ITEM(list, i))) Py_RETURN_FALSE;
  }
  Py_RETURN_TRUE;
}

/* dicts_by_identity(list, names, kinds): exact dict of len(names) items,
   keys walked in order and matched by identity to the field expected there,
   else the field looked up by name. */
static PyObject *floor_dicts_by_identity(PyObject *self, PyObject *args) {
  PyObject *list, *names, *kinds;
  long kind[64];
  if (!PyArg_ParseTuple(args, "OO!O", &list, &PyTuple_Type, &names, &kinds)) return NULL;
  Py_ssize_t fields = PyTuple_GET_SIZE(names);
  if (check_list(list) < 0 || read_kinds(kinds, kind, fields) < 0) return NULL;
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *d = PyList_GET_ITEM(list, i);
    if (!PyDict_CheckExact(d) || PyDict_GET_SIZE(d) != fields) Py_RETURN_FALSE;
    Py_ssize_t pos = 0, j = 0;
    PyObject *key, *value;
    while (PyDict_Next(d, &pos, &key, &value)) {
      if (key != PyTuple_GET_ITEM(names, j)) {
        value = PyDict_GetItemWithError(d, PyTuple_GET_ITEM(names, j));
        if (!value) {
          if (PyErr_Occurred()) return NULL;
          Py_RETURN_FALSE;
        }
      }
      if (!kind_ok(value, kind[j])) Py_RETURN_FALSE;
      ++j;
    }
  }
  Py_RETURN_TRUE;
}

/* dicts_by_name(list, names, kinds): exact dict of len(names) items, each
   field looked up by the schema's name. */
static PyObject *floor_dicts_by_name(PyObject *self, PyObject *args) {
  PyObject *list, *names, *kinds;
  long kind[64];
  if (!PyArg_ParseTuple(args, "OO!O", &list, &PyTuple_Type, &names, &kinds)) return NULL;
  Py_ssize_t fields = PyTuple_GET_SIZE(names);
  if (check_list(list) < 0 || read_kinds(kinds, kind, fields) < 0) return NULL;
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *d = PyList_GET_ITEM(list, i);
    if (!PyDict_CheckExact(d) || PyDict_GET_SIZE(d) != fields) Py_RETURN_FALSE;
    for (Py_ssize_t j = 0; j < fields; ++j) {
      PyObject *value = PyDict_GetItemWithError(d, PyTuple_GET_ITEM(names, j));
      if (!value) {
        if (PyErr_Occurred()) return NULL;
        Py_RETURN_FALSE;
      }
      if (!kind_ok(value, kind[j])) Py_RETURN_FALSE;
    }
  }
  Py_RETURN_TRUE;
}

/* strs_in(list, frozenset): exact str, one probe of the set. */
static PyObject *floor_strs_in(PyObject *self, PyObject *args) {
  PyObject *list, *set;
  if (!PyArg_ParseTuple(args, "OO!", &list, &PyFrozenSet_Type, &set)) return NULL;
  if (check_list(list) < 0) return NULL;
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *item = PyList_GET_ITEM(list, i);
    if (!PyUnicode_CheckExact(item)) Py_RETURN_FALSE;
    int found = PySet_Contains(set, item);
    if (found < 0) return NULL;
    if (!found) Py_RETURN_FALSE;
  }
  Py_RETURN_TRUE;
}

/* instances(list, cls, names, kinds): exact class, each field read through
   the type's attribute slot. */
static PyObject *floor_instances(PyObject *self, PyObject *args) {
  PyObject *list, *cls, *names, *kinds;
  long kind[64];
  if (!PyArg_ParseTuple(args, "OO!O!O", &list, &PyType_Type, &cls, &PyTuple_Type, &names, &kinds))
    return NULL;
  Py_ssize_t fields = PyTuple_GET_SIZE(names);
  if (check_list(list) < 0 || read_kinds(kinds, kind, fields) < 0) return NULL;
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *o = PyList_GET_ITEM(list, i);
    if ((PyObject *)Py_TYPE(o) != cls) Py_RETURN_FALSE;
    getattrofunc get = Py_TYPE(o)->tp_getattro;
    for (Py_ssize_t j = 0; j < fields; ++j) {
      PyObject *value = get(o, PyTuple_GET_ITEM(names, j));
      if (!value) return NULL;
      int ok = kind_ok(value, kind[j]);
      Py_DECREF(value);
      if (!ok) Py_RETURN_FALSE;
    }
  }
  Py_RETURN_TRUE;
}

static PyMethodDef floor_methods[] = {
    {"ints", floor_ints, METH_O, NULL},
    {"dicts_by_identity", floor_dicts_by_identity, METH_VARARGS, NULL},
    {"dicts_by_name", floor_dicts_by_name, METH_VARARGS, NULL},
    {"strs_in", floor_strs_in, METH_VARARGS, NULL},
    {"instances", floor_instances, METH_VARARGS, NULL},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef floor_module = {PyModuleDef_HEAD_INIT, "floor", NULL, -1, floor_methods};

PyMODINIT_FUNC PyInit_floor(void) { return PyModule_Create(&floor_module); }
