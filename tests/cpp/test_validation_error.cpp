// The ValidationError built from an empty record list, which no walk that
// Python can start produces.
#include <gtest/gtest.h>

#include <string>

#include "errors/raise.h"
#include "errors/validation_error.h"

namespace tarmelix {
namespace {

std::string text_of(PyObject* object) {
  py::Ref s = py::Ref::steal(PyObject_Str(object));
  const char* utf8 = s ? PyUnicode_AsUTF8(s.get()) : nullptr;
  return utf8 ? utf8 : "<error>";
}

std::string attr_text(PyObject* object, const char* name) {
  py::Ref value = py::Ref::steal(PyObject_GetAttrString(object, name));
  if (!value) {
    PyErr_Clear();
    return "<missing>";
  }
  py::Ref r = py::Ref::steal(PyObject_Repr(value.get()));
  return r ? PyUnicode_AsUTF8(r.get()) : "<error>";
}

TEST(ValidationErrorFallback, EmptyListGivesTheFallbackRecord) {
  raise_validation_error({});
  py::Ref exc = py::Ref::steal(PyErr_GetRaisedException());
  ASSERT_TRUE(exc);
  EXPECT_TRUE(PyObject_TypeCheck(exc.get(), reinterpret_cast<PyTypeObject*>(validation_error_type())));
  const std::string line = "expected a member of the schema's set, got  [validation_error]";
  EXPECT_EQ(text_of(exc.get()), line);
  EXPECT_EQ(attr_text(exc.get(), "code"), "'validation_error'");
  EXPECT_EQ(attr_text(exc.get(), "expected"), "\"a member of the schema's set\"");
  EXPECT_EQ(attr_text(exc.get(), "value"), "''");
  EXPECT_EQ(attr_text(exc.get(), "message"), "\"" + line + "\"");
  EXPECT_EQ(attr_text(exc.get(), "path"), "()");
  EXPECT_EQ(attr_text(exc.get(), "errors"),
            "({'code': 'validation_error', 'path': (), 'message': \"" + line +
                "\", 'expected': \"a member of the schema's set\", 'value': ''},)");
}

}  // namespace
}  // namespace tarmelix
