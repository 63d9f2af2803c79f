#include "render/bounded_repr.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "py/stack.h"
#include "render/utf8_text.h"

namespace tarmelix::render {

namespace {

constexpr const char* REPR_ACTIVITY = "getting the repr of an object";

// One nesting level, counted against the recursion limit as the
// interpreter's repr counts it, and checked against the native stack.
class ReprLevel {
 public:
  ReprLevel() noexcept {
    if (!py::stack_has_room(py::STEP_STACK_RESERVE)) {
      py::set_stack_exhausted(REPR_ACTIVITY);
      return;
    }
    entered_ = Py_EnterRecursiveCall(" while getting the repr of an object") == 0;
  }
  ~ReprLevel() {
    if (entered_) Py_LeaveRecursiveCall();
  }
  ReprLevel(const ReprLevel&) = delete;
  ReprLevel& operator=(const ReprLevel&) = delete;

  bool entered() const noexcept { return entered_; }

 private:
  bool entered_ = false;
};

// A container's mark in the thread's list of objects being repr'd, shared
// with every other repr, so a container reached again inside itself (also
// through an element's own __repr__) is shown as "[...]".
class ReprMark {
 public:
  explicit ReprMark(PyObject* container) noexcept
      : container_(container), status_(Py_ReprEnter(container)) {}
  ~ReprMark() {
    if (status_ == 0) Py_ReprLeave(container_);
  }
  ReprMark(const ReprMark&) = delete;
  ReprMark& operator=(const ReprMark&) = delete;

  bool failed() const noexcept { return status_ < 0; }
  bool already_shown() const noexcept { return status_ > 0; }

 private:
  PyObject* container_;
  int status_;
};

class ReprWriter {
 public:
  explicit ReprWriter(size_t max_chars) : max_chars_(max_chars) {}

  // Once past max_chars characters nothing more is written or repr'd.
  bool full() const noexcept { return chars_ > max_chars_; }
  std::string take() { return std::move(out_); }

  // False with the exception set when a repr raised.
  bool value(PyObject* v) {
    if (full()) return true;
    if (!has_bounded_repr(v)) return foreign(v);
    ReprLevel level;
    if (!level.entered()) return false;
    PyTypeObject* type = Py_TYPE(v);
    if (type == &PyUnicode_Type) return str(v);
    if (type == &PyBytes_Type) return bytes(v);
    if (type == &PyList_Type) return list(v);
    if (type == &PyTuple_Type) return tuple(v);
    if (type == &PyDict_Type) return dict(v);
    return set(v);
  }

 private:
  void ascii(std::string_view s) {
    if (full()) return;
    out_ += s;
    chars_ += s.size();
  }
  void ascii(char c) { ascii(std::string_view(&c, 1)); }

  // \xhh, \uhhhh or \Uhhhhhhhh.
  void hex_escape(char letter, Py_UCS4 cp, int digits) {
    static constexpr char HEX[] = "0123456789abcdef";
    char buf[10] = {'\\', letter};
    for (int i = 0; i < digits; ++i) buf[2 + i] = HEX[(cp >> (4 * (digits - 1 - i))) & 0xF];
    ascii(std::string_view(buf, 2 + digits));
  }

  // The characters of a str as they stand; a lone surrogate, which has no
  // UTF-8 form, becomes three U+FFFD as it does in a whole preview.
  void raw_text(PyObject* s) {
    const int kind = PyUnicode_KIND(s);
    const void* data = PyUnicode_DATA(s);
    const Py_ssize_t length = PyUnicode_GET_LENGTH(s);
    for (Py_ssize_t i = 0; i < length && !full(); ++i) {
      const Py_UCS4 cp = PyUnicode_READ(kind, data, i);
      if (cp >= 0xD800 && cp <= 0xDFFF) {
        out_ += "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD";
        chars_ += 3;
      } else {
        append_utf8(out_, cp);
        ++chars_;
      }
    }
  }

  // A value of another type shows its own repr (which counts its own
  // level); a container writes a str subclass result as its characters.
  bool foreign(PyObject* v) {
    py::Ref r = py::Ref::steal(PyObject_Repr(v));
    if (!r) return false;
    raw_text(r.get());
    return true;
  }

  bool str(PyObject* v) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(v);
    // The quote depends on the whole text: a double quote only when it holds
    // a single quote and no double quote.
    const Py_ssize_t single = PyUnicode_FindChar(v, '\'', 0, n, 1);
    const Py_ssize_t dbl = single >= 0 ? PyUnicode_FindChar(v, '"', 0, n, 1) : -1;
    if (single == -2 || dbl == -2) return false;
    const Py_UCS4 quote = single >= 0 && dbl < 0 ? '"' : '\'';
    ascii(static_cast<char>(quote));
    const int kind = PyUnicode_KIND(v);
    const void* data = PyUnicode_DATA(v);
    for (Py_ssize_t i = 0; i < n && !full(); ++i) {
      const Py_UCS4 ch = PyUnicode_READ(kind, data, i);
      if (ch == quote || ch == '\\') {
        const char pair[2] = {'\\', static_cast<char>(ch)};
        ascii(std::string_view(pair, 2));
      } else if (ch == '\t') {
        ascii("\\t");
      } else if (ch == '\n') {
        ascii("\\n");
      } else if (ch == '\r') {
        ascii("\\r");
      } else if (ch < ' ' || ch == 0x7F) {
        hex_escape('x', ch, 2);
      } else if (ch < 0x7F) {
        ascii(static_cast<char>(ch));
      } else if (Py_UNICODE_ISPRINTABLE(ch)) {
        append_utf8(out_, ch);
        ++chars_;
      } else if (ch <= 0xFF) {
        hex_escape('x', ch, 2);
      } else if (ch <= 0xFFFF) {
        hex_escape('u', ch, 4);
      } else {
        hex_escape('U', ch, 8);
      }
    }
    ascii(static_cast<char>(quote));
    return true;
  }

  bool bytes(PyObject* v) {
    const char* data = PyBytes_AS_STRING(v);
    const size_t n = static_cast<size_t>(PyBytes_GET_SIZE(v));
    const char quote =
        std::memchr(data, '\'', n) && !std::memchr(data, '"', n) ? '"' : '\'';
    static constexpr char HEX[] = "0123456789abcdef";
    ascii('b');
    ascii(quote);
    for (size_t i = 0; i < n && !full(); ++i) {
      const auto c = static_cast<unsigned char>(data[i]);
      if (c == quote || c == '\\') {
        const char pair[2] = {'\\', static_cast<char>(c)};
        ascii(std::string_view(pair, 2));
      } else if (c == '\t') {
        ascii("\\t");
      } else if (c == '\n') {
        ascii("\\n");
      } else if (c == '\r') {
        ascii("\\r");
      } else if (c < ' ' || c >= 0x7F) {
        const char esc[4] = {'\\', 'x', HEX[c >> 4], HEX[c & 0xF]};
        ascii(std::string_view(esc, 4));
      } else {
        ascii(static_cast<char>(c));
      }
    }
    ascii(quote);
    return true;
  }

  // An element's repr may change the list: its length is read afresh at
  // each step and the element is held while it is shown.
  bool list(PyObject* v) {
    if (PyList_GET_SIZE(v) == 0) {
      ascii("[]");
      return true;
    }
    ReprMark mark(v);
    if (mark.failed()) return false;
    if (mark.already_shown()) {
      ascii("[...]");
      return true;
    }
    ascii('[');
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(v) && !full(); ++i) {
      if (i > 0) ascii(", ");
      py::Ref item = py::Ref::borrow(PyList_GET_ITEM(v, i));
      if (!value(item.get())) return false;
    }
    ascii(']');
    return true;
  }

  bool tuple(PyObject* v) {
    const Py_ssize_t n = PyTuple_GET_SIZE(v);
    if (n == 0) {
      ascii("()");
      return true;
    }
    // A tuple reaches itself only through a mutable element.
    ReprMark mark(v);
    if (mark.failed()) return false;
    if (mark.already_shown()) {
      ascii("(...)");
      return true;
    }
    ascii('(');
    for (Py_ssize_t i = 0; i < n && !full(); ++i) {
      if (i > 0) ascii(", ");
      if (!value(PyTuple_GET_ITEM(v, i))) return false;
    }
    if (n == 1) ascii(',');
    ascii(')');
    return true;
  }

  bool dict(PyObject* v) {
    ReprMark mark(v);
    if (mark.failed()) return false;
    if (mark.already_shown()) {
      ascii("{...}");
      return true;
    }
    if (PyDict_GET_SIZE(v) == 0) {
      ascii("{}");
      return true;
    }
    ascii('{');
    Py_ssize_t pos = 0;
    PyObject* k = nullptr;
    PyObject* x = nullptr;
    bool first = true;
    while (!full() && PyDict_Next(v, &pos, &k, &x)) {
      // Shown while the reprs may delete them from the dict.
      py::Ref key = py::Ref::borrow(k);
      py::Ref item = py::Ref::borrow(x);
      if (!first) ascii(", ");
      first = false;
      if (!value(key.get())) return false;
      ascii(": ");
      if (!value(item.get())) return false;
    }
    ascii('}');
    return true;
  }

  // A set shows the elements it held before any of them was repr'd, taken
  // as a list whose repr is one nesting level more; only as many are taken
  // as the characters left can show, each after the first costing ", ".
  bool set(PyObject* v) {
    const bool plain = Py_IS_TYPE(v, &PySet_Type);
    const std::string_view name = plain ? "set" : "frozenset";
    ReprMark mark(v);
    if (mark.failed()) return false;
    if (mark.already_shown()) {
      ascii(name);
      ascii("(...)");
      return true;
    }
    if (PySet_GET_SIZE(v) == 0) {
      ascii(name);
      ascii("()");
      return true;
    }
    // Not full, so chars_ <= max_chars_; an unbounded writer takes them all.
    const size_t left = max_chars_ - chars_;
    const size_t wanted = left > SIZE_MAX - 2 ? SIZE_MAX : left + 2;
    std::vector<py::Ref> items;
    py::Ref it = py::Ref::steal(PyObject_GetIter(v));
    if (!it) return false;
    while (items.size() < wanted) {
      py::Ref item = py::Ref::steal(PyIter_Next(it.get()));
      if (!item) {
        if (PyErr_Occurred()) return false;
        break;
      }
      items.push_back(std::move(item));
    }
    ReprLevel list_level;
    if (!list_level.entered()) return false;
    if (!plain) {
      ascii(name);
      ascii('(');
    }
    ascii('{');
    for (size_t i = 0; i < items.size() && !full(); ++i) {
      if (i > 0) ascii(", ");
      if (!value(items[i].get())) return false;
    }
    ascii(plain ? "}" : "})");
    return true;
  }

  std::string out_;
  size_t chars_ = 0;
  size_t max_chars_;
};

}  // namespace

bool has_bounded_repr(PyObject* value) noexcept {
  PyTypeObject* type = Py_TYPE(value);
  return type == &PyList_Type || type == &PyTuple_Type || type == &PyDict_Type ||
         type == &PySet_Type || type == &PyFrozenSet_Type || type == &PyUnicode_Type ||
         type == &PyBytes_Type;
}

std::optional<std::string> bounded_repr(PyObject* value, size_t max_chars) {
  ReprWriter writer(max_chars);
  if (!writer.value(value)) return std::nullopt;
  return writer.take();
}

}  // namespace tarmelix::render
