// The module qev._qev: the library's functions for the Python package qev.
#include "binding.h"
#include "qev/version.h"

PYBIND11_MODULE(_qev, m) {
  m.doc() = "The QEV library: catalog readers, the analysis, hazard, batch runs";
  // The project's version, the one the tools print.
  m.attr("__version__") = QEV_VERSION_STRING;
  qev::python::BindErrors(m);
  qev::python::BindEngine(m);
#ifdef QEV_EVENTS_AVAILABLE
  qev::python::BindEvents(m);
#endif
#ifdef QEV_BATCH_AVAILABLE
  qev::python::BindBatch(m);
#endif
}
