#include "companion/calibration_study.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <set>
#include <sstream>
#include <thread>

#include "qev/calibration.h"
#include "qev/classic_files.h"
#include "qev/errors.h"
#include "textio/number_text.h"

namespace qev::companion {

namespace {

constexpr double kBFromBeta = 0.4342944819032518;
const char* const kQuantities[3] = {"b", "lambda", "mmax"};

// The generated catalog as the classic readers give it to the engine.
Catalog ReadBack(const GeneratedCatalog& generated) {
  Catalog catalog;
  if (generated.Extreme) {
    std::istringstream text(generated.Extreme->Text);
    catalog.extreme = ReadExtremeFile(text, generated.Extreme->FileName,
                                      static_cast<ExtremeLayout>(generated.Extreme->Layout))
                          .part;
  }
  for (const GeneratedPart& part : generated.Complete) {
    std::istringstream text(part.Text);
    catalog.complete.push_back(
        ReadCompleteFile(text, part.FileName, static_cast<CompleteLayout>(part.Layout)).part);
  }
  return catalog;
}

AnalysisOptions OptionsFor(const StudyOptions& options, const std::string& procedure) {
  AnalysisOptions analysis = options.Analysis;
  if (procedure == "cramer") {
    analysis.procedure = MmaxProcedure::Cramer;
  } else if (procedure == "bayes") {
    analysis.procedure = MmaxProcedure::Bayes;
  } else if (procedure == "fixed") {
    analysis.procedure = MmaxProcedure::None;
    analysis.mmax_values = {options.Design.Mmax};
  } else {
    throw InvalidOptions("unknown Mmax procedure '" + procedure +
                         "' (expected cramer, bayes or fixed)");
  }
  return analysis;
}

void CopyInterval(const CalibratedValue& v, double* into) {
  into[0] = v.corrected;
  into[1] = v.lower68;
  into[2] = v.upper68;
  into[3] = v.lower95;
  into[4] = v.upper95;
}

StudyEstimate Estimate(const Catalog& catalog, const AnalysisOptions& analysis,
                       const StudyOptions& options, std::uint64_t seed) {
  StudyEstimate e;
  e.Seed = seed;
  try {
    const AnalysisResult r = Analyze(catalog, analysis);
    const Uncertainties& u = r.uncertainties;
    e.B = kBFromBeta * r.beta;
    e.SdB = kBFromBeta * u.sd_beta;
    e.Lambda = r.lambda;
    e.SdLambda = u.sd_lambda;
    e.Mmax = r.mmax;
    e.SdMmax = u.sd_mmax;
    e.Ok = std::isfinite(e.B) && std::isfinite(e.Lambda) && std::isfinite(e.Mmax);
    if (e.Ok && options.BootstrapReplicates > 0) {
      BootstrapOptions bootstrap;
      bootstrap.replicates = options.BootstrapReplicates;
      bootstrap.seed = seed * 7919u + 17u;
      // The inverted intervals need the slopes' stage; the others do without.
      bootstrap.method = BootstrapMethod::Basic;
      for (const std::string& name : options.BootstrapMethods) {
        if (name == "inverted") bootstrap.method = BootstrapMethod::Inverted;
      }
      const BootstrapSample sample = DrawBootstrapSample(catalog, analysis, r, bootstrap);
      for (const std::string& name : options.BootstrapMethods) {
        bootstrap.method = *BootstrapMethodFromName(name);
        const CalibratedIntervals c = IntervalsFromSample(sample, analysis, r, bootstrap);
        StudyBootstrap& b = e.Boot.emplace_back();
        CopyInterval(c.b, b.Bc);
        CopyInterval(c.lambda, b.Lc);
        CopyInterval(c.mmax, b.Mc);
        b.BootSd[0] = c.b.sd;
        b.BootSd[1] = c.lambda.sd;
        b.BootSd[2] = c.mmax.sd;
        b.Calibrated = c.calibrated;
      }
      e.Bootstrapped = true;
    }
  } catch (const Error&) {
    e.Ok = false;
  }
  return e;
}

// Value, SD and interval bounds of quantity q of one estimate.
struct Draw {
  double value = 0.0;
  double sd = 0.0;
  double lo68 = 0.0, hi68 = 0.0, lo95 = 0.0, hi95 = 0.0;
};

// method: the index of the bootstrap method, or -1 for the reported intervals.
Draw DrawOf(const StudyEstimate& e, int q, int method) {
  const double values[3] = {e.B, e.Lambda, e.Mmax};
  const double sds[3] = {e.SdB, e.SdLambda, e.SdMmax};
  if (method >= 0) {
    const StudyBootstrap& b = e.Boot[static_cast<std::size_t>(method)];
    const double* c[3] = {b.Bc, b.Lc, b.Mc};
    return {c[q][0], b.BootSd[q], c[q][1], c[q][2], c[q][3], c[q][4]};
  }
  const double v = values[q];
  const double s = sds[q];
  return {v, s, v - s, v + s, v - 2.0 * s, v + 2.0 * s};
}

StudyRow Summarise(const StudyResult& result, const StudyOptions& options,
                   const std::string& procedure, int q, int method, double truth) {
  const bool bootstrap = method >= 0;
  StudyRow row;
  row.Procedure = procedure;
  row.Intervals = bootstrap ? options.BootstrapMethods[static_cast<std::size_t>(method)]
                            : std::string("reported");
  row.Quantity = kQuantities[q];
  row.Truth = truth;
  double sum = 0.0, squares = 0.0, inSd = 0.0, in68 = 0.0, in95 = 0.0;
  std::int32_t withSd = 0;
  for (const StudyEstimate& e : result.Estimates) {
    if (e.Procedure != procedure) continue;
    if (!e.Ok || (bootstrap && !e.Bootstrapped)) {
      ++row.Failed;
      continue;
    }
    const Draw d = DrawOf(e, q, method);
    ++row.Analysed;
    if (bootstrap && !e.Boot[static_cast<std::size_t>(method)].Calibrated) row.Flagged += 1.0;
    sum += d.value;
    squares += (d.value - truth) * (d.value - truth);
    if (d.sd > 0.0 && std::isfinite(d.sd)) {
      inSd += (d.value - truth) / d.sd;
      ++withSd;
    }
    in68 += (d.lo68 <= truth && truth <= d.hi68) ? 1.0 : 0.0;
    in95 += (d.lo95 <= truth && truth <= d.hi95) ? 1.0 : 0.0;
  }
  if (row.Analysed == 0) return row;
  const double n = row.Analysed;
  row.Mean = sum / n;
  row.Bias = row.Mean - truth;
  row.BiasInSd = withSd > 0 ? inSd / withSd : std::nan("");
  row.Rmse = std::sqrt(squares / n);
  row.Cover68 = in68 / n;
  row.Cover95 = in95 / n;
  row.Flagged /= n;
  return row;
}

void RunCatalogs(const StudyOptions& options, const std::vector<AnalysisOptions>& analyses,
                 StudyResult& result) {
  const std::size_t procedures = analyses.size();
  result.Estimates.resize(static_cast<std::size_t>(options.Catalogs) * procedures);
  std::vector<std::vector<std::string>> warnings(static_cast<std::size_t>(options.Catalogs));
  std::atomic<std::size_t> next{0};
  auto work = [&]() {
    for (std::size_t i = next++; i < static_cast<std::size_t>(options.Catalogs); i = next++) {
      SynthPlan plan = options.Design;
      plan.Seed = options.Design.Seed + i;
      Catalog catalog;
      bool read = true;
      try {
        const GeneratedCatalog generated = GenerateCatalog(plan);
        warnings[i] = generated.Warnings;
        catalog = ReadBack(generated);
      } catch (const std::exception& error) {
        warnings[i] = {error.what()};
        read = false;
      }
      for (std::size_t p = 0; p < procedures; ++p) {
        StudyEstimate& slot = result.Estimates[i * procedures + p];
        if (read) slot = Estimate(catalog, analyses[p], options, plan.Seed);
        slot.Seed = plan.Seed;
        slot.Procedure = options.Procedures[p];
      }
    }
  };
  std::vector<std::thread> pool;
  for (std::int32_t t = 1; t < options.Threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();
  std::set<std::string> seen;
  for (const auto& list : warnings) {
    for (const std::string& w : list) seen.insert(w);
  }
  constexpr std::size_t kShown = 5;
  for (const std::string& w : seen) {
    if (result.Warnings.size() == kShown) {
      result.Warnings.push_back("and " + std::to_string(seen.size() - kShown) +
                                " other warnings of the generator");
      break;
    }
    result.Warnings.push_back(w);
  }
}

std::string Number(double value, int decimals) {
  return std::isfinite(value) ? FixedText(value, decimals) : std::string("nan");
}

}  // namespace

StudyResult RunStudy(const StudyOptions& options) {
  if (options.Catalogs < 1) throw InvalidOptions("a study needs at least one catalog");
  if (options.Threads < 1) throw InvalidOptions("a study needs at least one thread");
  std::vector<AnalysisOptions> analyses;
  for (const std::string& p : options.Procedures) analyses.push_back(OptionsFor(options, p));
  if (options.BootstrapReplicates > 0 && options.BootstrapMethods.empty()) {
    throw InvalidOptions("a study with bootstrap intervals needs at least one method");
  }
  for (const std::string& m : options.BootstrapMethods) {
    if (!BootstrapMethodFromName(m)) {
      throw InvalidOptions("unknown bootstrap method '" + m +
                           "' (expected inverted, studentized or basic)");
    }
  }
  GenerateCatalog(options.Design);  // refuses a bad design before any thread starts
  const auto started = std::chrono::steady_clock::now();
  StudyResult result;
  RunCatalogs(options, analyses, result);
  const double truth[3] = {kBFromBeta * options.Design.Beta, options.Design.Lambda,
                           options.Design.Mmax};
  for (const std::string& p : options.Procedures) {
    const int methods =
        options.BootstrapReplicates > 0 ? static_cast<int>(options.BootstrapMethods.size()) : 0;
    for (int method = -1; method < methods; ++method) {
      for (int q = 0; q < 3; ++q) {
        if (p == "fixed" && q == 2) continue;  // Mmax was not estimated
        result.Rows.push_back(Summarise(result, options, p, q, method, truth[q]));
      }
    }
  }
  result.Seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

std::string StudyCsv(const StudyResult& result) {
  std::ostringstream out;
  out << "procedure,intervals,quantity,truth,analysed,failed,mean,bias,bias_in_sd,rmse,"
         "cover68,cover95,flagged\n";
  for (const StudyRow& r : result.Rows) {
    out << r.Procedure << ',' << r.Intervals << ',' << r.Quantity << ',' << Number(r.Truth, 4)
        << ',' << r.Analysed << ',' << r.Failed << ',' << Number(r.Mean, 4) << ','
        << Number(r.Bias, 4) << ',' << Number(r.BiasInSd, 3) << ',' << Number(r.Rmse, 4) << ','
        << Number(r.Cover68, 3) << ',' << Number(r.Cover95, 3) << ',' << Number(r.Flagged, 3)
        << '\n';
  }
  return out.str();
}

std::string EstimatesCsv(const StudyResult& result) {
  std::ostringstream out;
  out << "seed,procedure,ok,b,sd_b,lambda,sd_lambda,mmax,sd_mmax,b_corrected,lambda_corrected,"
         "mmax_corrected,b_boot_sd,lambda_boot_sd,mmax_boot_sd,b_lower68,b_upper68,b_lower95,"
         "b_upper95,lambda_lower68,lambda_upper68,lambda_lower95,lambda_upper95,mmax_lower68,"
         "mmax_upper68,mmax_lower95,mmax_upper95,calibrated\n";
  for (const StudyEstimate& e : result.Estimates) {
    out << e.Seed << ',' << e.Procedure << ',' << (e.Ok ? 1 : 0) << ',' << Number(e.B, 4) << ','
        << Number(e.SdB, 4) << ',' << Number(e.Lambda, 4) << ',' << Number(e.SdLambda, 4) << ','
        << Number(e.Mmax, 4) << ',' << Number(e.SdMmax, 4);
    if (e.Bootstrapped && !e.Boot.empty()) {
      const StudyBootstrap& b = e.Boot.front();
      out << ',' << Number(b.Bc[0], 4) << ',' << Number(b.Lc[0], 4) << ',' << Number(b.Mc[0], 4)
          << ',' << Number(b.BootSd[0], 4) << ',' << Number(b.BootSd[1], 4) << ','
          << Number(b.BootSd[2], 4);
      // The bounds of the first method, to see on which side the truth is missed.
      for (const double* bounds : {b.Bc, b.Lc, b.Mc}) {
        for (int k = 1; k < 5; ++k) out << ',' << Number(bounds[k], 4);
      }
      out << ',' << (b.Calibrated ? 1 : 0);
    } else {
      out << std::string(19, ',');
    }
    out << '\n';
  }
  return out.str();
}

}  // namespace qev::companion
