// Auxiliary files that travel with a model: simplex bases (".bas"),
// branching priority orders (".ord"), solutions (".sol", XML) and MIP starts
// (".mst", XML).  The functions here work on plain records; the checked
// entries (io/api_startfiles.cpp) take them from and install them into a
// problem.  Like the model readers, every reader fills its output only when
// the whole file has been read successfully, prints its own messages and
// returns 0 or a negated status code.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "io/messages.h"
#include "model/attachments.h"
#include "model/modeldata.h"

namespace vnt::io {

// Row and column names of a model as the files spell them: the model's
// names, or the default names x1, x2, ... (columns) and c1, c2, ... (rows)
// when it has none.  `defaultCols` / `defaultRows` tell which were made up.
struct FileNames {
  std::vector<std::string> col, row;
  bool defaultCols = false, defaultRows = false;
  explicit FileNames(const model::ModelData& m);
};

// ---------------------------------------------------------------------------
// Basis files.

// Statuses in the library's codes: columns 0 at lower bound, 1 basic, 2 at
// upper bound, 3 free or superbasic; rows 0 at a bound (a ranged row at its
// lower limit), 1 basic, 2 ranged row at its upper limit.  A restart basis
// also carries the values of the basic and superbasic variables (colValue /
// rowValue, one per column / row; only those entries are written).
struct BasisRecord {
  std::vector<int> cstat, rstat;
  std::vector<double> colValue, rowValue;  // empty: no values (plain basis)
  long long iterations = 0;
};

int writeBasisFile(const std::string& filename, const model::ModelData& m, const BasisRecord& b, Messages& msg,
                   const IoSettings& settings);
// restart: accept "SC", "BR" and "SR" lines with values (and read the value
// field of "XU"/"XL" lines when present).  The record's values are filled
// only for a restart read.
int readBasisFile(const std::string& filename, const model::ModelData& m, bool restart, BasisRecord& out,
                  Messages& msg, const IoSettings& settings);

// ---------------------------------------------------------------------------
// Priority-order files.

struct OrderEntry {
  int col = 0;
  long long priority = 0;
  int direction = 0;  // 0 default, 1 up, -1 down
};

int writeOrderFile(const std::string& filename, const model::ModelData& m, const std::vector<OrderEntry>& order,
                   Messages& msg, const IoSettings& settings);
int readOrderFile(const std::string& filename, const model::ModelData& m, std::vector<OrderEntry>& out,
                  Messages& msg, const IoSettings& settings);

// ---------------------------------------------------------------------------
// Solution-pool filter files: the frame of the priority-order files with
// one header line per filter ("DIVFILTER  name  lower  upper" or
// "RNGFILTER  name  lower  upper") followed by its entries, one per line
// and starting with a blank: " column  weight  reference" (diversity) or
// " column  coefficient" (range).  An empty name is written as its default
// "f" + one-based position.

int writeFilterFile(const std::string& filename, const model::ModelData& m,
                    const std::vector<model::PoolFilter>& filters, Messages& msg, const IoSettings& settings);
int readFilterFile(const std::string& filename, const model::ModelData& m, std::vector<model::PoolFilter>& out,
                   Messages& msg, const IoSettings& settings);

// ---------------------------------------------------------------------------
// Solution and MIP-start XML.

// One named number of the "header" or "quality" element, written in order.
struct XmlAttr {
  std::string name;
  std::string text;  // already formatted
};

struct SolutionRecord {
  // Header attributes in order (problem name, solution name, ...).
  std::vector<XmlAttr> header;
  std::vector<XmlAttr> quality;  // empty: no "quality" element
  // Per row and per column; an empty vector means "not written".  Status
  // texts are "basic" / "nonbasic" ("" when there is no basis).
  struct Entry {
    int index = 0;
    std::string status;
    double value = 0.0;   // slack of a row, value of a column
    double dual = 0.0;    // dual of a row, reduced cost of a column
    bool hasDual = false;
  };
  std::vector<Entry> rows, cols;
  bool writeRows = true;  // "linearConstraints" element
};

// Writes one solution ("VANTOSolution") or, with `several`, a
// "VANTOSolutions" wrapper around each record (pool and MIP-start files).
// MIP-start records carry no constraint section and no duals.
int writeSolutionXml(const std::string& filename, const model::ModelData& m, const std::vector<SolutionRecord>& sols,
                     bool several, Messages& msg);

// What a solution or MIP-start file holds, matched to a model.
struct ReadSolution {
  std::string name;          // "solutionName" of the header ("" when absent)
  int effort = 0;            // "MIPStartEffortLevel" (0 when absent)
  bool hasObjective = false;
  double objective = 0.0;
  // Values by column / row index; statuses: 1 basic, 0 nonbasic, -1 absent.
  std::vector<std::pair<int, double>> x, slack, dual, dj;
  std::vector<std::pair<int, int>> cstatus, rstatus;
};

enum class XmlReadMode {
  kSolution,    // first "VANTOSolution" only; warns about further ones
  kMipStarts,   // every "VANTOSolution" as one start
  kStartInfo,   // first solution only, start-vector wording
};

int readSolutionXml(const std::string& filename, const model::ModelData& m, XmlReadMode mode,
                    std::vector<ReadSolution>& out, Messages& msg);

// Text of a number in the solution files: up to 17 significant digits.
std::string xmlNumber(double v);

// The readers' warnings: the first 20 are printed, the rest counted and
// reported once at the end ("%lld warnings not printed.").
class WarningLimiter {
 public:
  explicit WarningLimiter(Messages& msg) : msg_(msg) {}
  void warn(const std::string& text) {
    if (++count_ <= kPrinted) msg_.warning(text);
  }
  void finish() {
    if (count_ > kPrinted) msg_.warning(format("%lld warnings not printed.\n", count_ - kPrinted));
    count_ = 0;
  }
  long long count() const { return count_; }

 private:
  static constexpr long long kPrinted = 20;
  Messages& msg_;
  long long count_ = 0;
};

}  // namespace vnt::io
