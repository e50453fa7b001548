// Shared pieces of the module qev._qev: array conversion, the catalog between
// the Python part classes and qev::Catalog, and the registration functions of
// each library's bindings.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "qev/catalog.h"
#include "qev/event_settings.h"
#include "qev/settings.h"

namespace qev::python {

namespace py = pybind11;

// A Python str from bytes that should be UTF-8 (file names, messages quoting
// them): invalid bytes become U+FFFD instead of an error of their own.
py::str Text(const std::string& bytes);

// A 1-D array of `what` as the given type, or TypeError/ValueError naming it.
std::vector<float> FloatVector(py::handle values, const std::string& what);
std::vector<double> DoubleVector(py::handle values, const std::string& what);
std::vector<std::int32_t> IntVector(py::handle values, const std::string& what);

// Copies into a new NumPy array.
template <typename T>
py::array_t<T> ToArray(const std::vector<T>& values) {
  py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

// A read-only NumPy view of a vector owned by `owner`, which the view keeps
// alive.
template <typename T>
py::array ReadOnlyView(const std::vector<T>& values, py::handle owner) {
  py::array view(py::dtype::of<T>(), {static_cast<py::ssize_t>(values.size())}, {sizeof(T)},
                 values.data(), owner);
  view.attr("flags").attr("writeable") = false;
  return view;
}

// The catalog of the Python classes qev.Catalog, qev.ExtremePart and
// qev.CompletePart (read by attribute name), and back as plain tuples that
// the Python side turns into those classes.
Catalog CatalogFrom(py::handle catalog);
py::tuple ExtremeToTuple(const ExtremePart& part);
py::tuple CompleteToTuple(const CompletePart& part);
py::tuple CatalogToTuple(const Catalog& catalog);

// Runs work(cancel) on a thread of its own, without the GIL, while the
// calling thread, the interpreter's, looks for signals every 50 ms
// (PyErr_CheckSignals, the GIL held). When a signal's handler raises (Ctrl-C:
// KeyboardInterrupt), `cancel` is raised, the work ends at its next step (the
// library's loops poll it) and the handler's exception is raised; what the
// work gave is dropped. Work must not touch Python objects. When the system
// cannot start a thread the work runs on this one, without the check.
template <typename Work>
auto Interruptible(Work&& work) -> decltype(work(std::declval<const std::atomic<bool>*>())) {
  using Result = decltype(work(std::declval<const std::atomic<bool>*>()));
  std::atomic<bool> cancel{false};
  std::packaged_task<Result()> task([&work, &cancel] { return work(&cancel); });
  std::future<Result> done = task.get_future();
  std::thread worker;
  try {
    worker = std::thread(std::ref(task));
  } catch (const std::system_error&) {
    py::gil_scoped_release release;
    task();
    return done.get();
  }
  bool interrupted = false;
  for (;;) {
    {
      py::gil_scoped_release release;
      if (done.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready) break;
    }
    if (PyErr_CheckSignals() != 0) {
      interrupted = true;
      cancel = true;
      break;
    }
  }
  {
    py::gil_scoped_release release;
    worker.join();
  }
  if (interrupted) throw py::error_already_set();
  return done.get();
}

// A keyword argument as a setting's value: a flag, a number (NumPy's too), a
// text, a sequence of texts or of numbers, which the setting's row then checks.
SettingValue SettingFrom(py::handle value, const std::string& key);

// Sets the options of the keywords the dictionary holds, by the rows of their
// settings table (None: the option keeps its default). The rows check the
// values: InvalidSetting (qev.InvalidOptions) names the key and the bound of
// one they refuse; a key of no row is a TypeError.
template <class Options>
void SetKeywords(Options& options, std::span<const OptionsRow<Options>> rows,
                 const py::dict& keywords) {
  for (const auto& [name, value] : keywords) {
    if (value.is_none()) continue;
    const std::string key = py::str(name);
    const OptionsRow<Options>* row = FindOption(rows, key);
    if (row == nullptr) throw py::type_error("'" + key + "' is no key of the settings table");
    SetOption(options, *row, SettingFrom(value, key));
  }
}

void BindErrors(py::module_& m);
void BindEngine(py::module_& m);
void BindEvents(py::module_& m);
void BindBatch(py::module_& m);

}  // namespace qev::python
