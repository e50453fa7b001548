// Placeholder definitions until the estimation engine is built; removed by it.
#include "estimation/likelihood.h"
#include "estimation/mmax_estimators.h"
#include "estimation/special_functions.h"
#include "estimation/uncertainty.h"
