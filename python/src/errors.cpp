// The library's exceptions as the Python hierarchy qev.Error: each C++ type
// becomes the Python class of the same name, with the library's message and
// the values it carries as attributes.
#include "qev/errors.h"

#include <initializer_list>
#include <utility>

#include "binding.h"

namespace qev::python {

namespace {

struct ErrorTypes {
  PyObject* error = nullptr;
  PyObject* reading = nullptr;
  PyObject* end_of_input = nullptr;
  PyObject* catalog = nullptr;
  PyObject* trial_point = nullptr;
  PyObject* no_estimate = nullptr;
  PyObject* unusable = nullptr;
  PyObject* invalid_options = nullptr;
};

// The classes live as long as the interpreter: the module keeps a reference
// and so does this table (never released, as the module is never unloaded).
ErrorTypes& Types() {
  static ErrorTypes types;
  return types;
}

PyObject* NewType(py::module_& m, const char* name, const char* doc,
                  std::initializer_list<PyObject*> bases) {
  py::tuple base_tuple(bases.size());
  std::size_t i = 0;
  for (PyObject* base : bases) base_tuple[i++] = py::reinterpret_borrow<py::object>(base);
  const std::string full = std::string("qev.") + name;
  PyObject* type = PyErr_NewExceptionWithDoc(full.c_str(), doc, base_tuple.ptr(), nullptr);
  if (type == nullptr) throw py::error_already_set();
  m.add_object(name, py::reinterpret_borrow<py::object>(type));
  return type;
}

using Attributes = std::initializer_list<std::pair<const char*, py::object>>;

void Raise(PyObject* type, const std::string& message, Attributes attributes = {}) {
  py::object error = py::reinterpret_borrow<py::object>(type)(Text(message));
  for (const auto& [name, value] : attributes) error.attr(name) = value;
  PyErr_SetObject(type, error.ptr());
}

void ReadingAttributes(const ReadingError& e, PyObject* type) {
  Raise(type, e.what(),
        {{"source", Text(e.source())},
         {"line", py::int_(e.line())},
         {"text", Text(e.text())},
         {"expected", Text(e.expected())}});
}

}  // namespace

py::str Text(const std::string& bytes) {
  PyObject* s =
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<py::ssize_t>(bytes.size()), "replace");
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

void BindErrors(py::module_& m) {
  ErrorTypes& t = Types();
  t.error = NewType(m, "Error", "Base of every error of the QEV library.", {PyExc_Exception});
  t.reading = NewType(m, "ReadingError",
                      "A text that cannot be read as the expected value; attributes source, "
                      "line (1-based, 0 when there is none), text and expected.",
                      {t.error, PyExc_ValueError});
  t.end_of_input = NewType(m, "EndOfInput",
                           "The input ended before a statement had all its values.", {t.reading});
  t.catalog = NewType(m, "CatalogError",
                      "A catalog whose values are readable but inconsistent; attributes source, "
                      "line and event (1-based extreme event, 0 when none).",
                      {t.error, PyExc_ValueError});
  t.trial_point = NewType(m, "TrialPointNotPositive",
                          "The minimiser met a trial Beta or Lambda that is not positive: the "
                          "data do not determine the parameters; attributes beta, lambda_.",
                          {t.error});
  t.no_estimate =
      NewType(m, "NoEstimate", "The catalog gives no starting point; attribute reason.", {t.error});
  t.unusable = NewType(m, "UnusableEstimate",
                       "The analysis ended but its figures are no estimate (not finite numbers, "
                       "Mmax not above Mmin); attributes reason and figure.",
                       {t.no_estimate});
  t.invalid_options = NewType(m, "InvalidOptions",
                              "Options that no analysis can use; the message names the option.",
                              {t.error, PyExc_ValueError});

  // pybind11's translator takes the pointer by value.
  py::register_exception_translator(
      [](std::exception_ptr p) {  // NOLINT(performance-unnecessary-value-param)
        const ErrorTypes& t = Types();
        try {
          if (p) std::rethrow_exception(p);
        } catch (const EndOfInput& e) {
          ReadingAttributes(e, t.end_of_input);
        } catch (const ReadingError& e) {
          ReadingAttributes(e, t.reading);
        } catch (const CatalogError& e) {
          Raise(t.catalog, e.what(),
                {{"source", Text(e.source())},
                 {"line", py::int_(e.line())},
                 {"event", py::int_(e.event())}});
        } catch (const TrialPointNotPositive& e) {
          Raise(t.trial_point, e.what(),
                {{"beta", py::float_(e.beta())}, {"lambda_", py::float_(e.lambda())}});
        } catch (const UnusableEstimate& e) {
          Raise(t.unusable, e.what(), {{"reason", Text(e.reason())}, {"figure", Text(e.figure())}});
        } catch (const NoEstimate& e) {
          Raise(t.no_estimate, e.what(), {{"reason", Text(e.reason())}});
        } catch (const InvalidOptions& e) {
          Raise(t.invalid_options, e.what());
        } catch (const Error& e) {
          Raise(t.error, e.what());
        }
      });
}

}  // namespace qev::python
