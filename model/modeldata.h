// The plain exchange form of a model: what the file readers produce, what the
// writers and optimizers consume, and what a problem can be filled from or
// exported to.  Compact column-wise matrix; everything 0-based; values are
// unscaled and in the user's sense (objsen +1 minimize, -1 maximize).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vnt::model {

inline constexpr double kInfBound = 1e20;  // |bound| >= this is infinite
inline bool isInfinite(double v) { return v >= kInfBound || v <= -kInfBound; }

// A linear constraint kept outside the matrix (lazy constraints, user cuts).
struct LinearConstraint {
  std::string name;
  char sense = 'L';  // 'L', 'G', 'E'
  double rhs = 0.0;
  std::vector<int> ind;  // column indices
  std::vector<double> val;
};

// Special ordered set of type 1 or 2.
struct SosSet {
  std::string name;
  char type = '1';  // '1' or '2'
  std::vector<int> ind;  // member columns
  std::vector<double> weight;
};

// One product term coef * x[col1] * x[col2] of a quadratic form, with
// col1 <= col2 (col1 == col2 is a square term).
struct QuadTerm {
  int col1 = 0;
  int col2 = 0;
  double coef = 0.0;
};

// Quadratic constraint:  lin' x + sum(terms) <sense> rhs.
struct QuadConstraint {
  std::string name;
  char sense = 'L';  // 'L', 'G' ('E' is kept but not convex)
  double rhs = 0.0;
  std::vector<int> linind;
  std::vector<double> linval;
  std::vector<QuadTerm> quad;  // coef * x_i * x_j, i <= j, each pair once
};

// Indicator constraint: when x[indvar] == (complemented ? 0 : 1) then
// lin' x <sense> rhs must hold.
struct IndicatorConstraint {
  std::string name;
  int indvar = 0;
  bool complemented = false;
  // Direction of the implication: 0 "->" (active value implies the
  // constraint), 1 "<-" (the constraint implies the active value), 2 "<->"
  // (both).
  int direction = 0;
  char sense = 'L';  // 'L', 'G', 'E'
  double rhs = 0.0;
  std::vector<int> ind;
  std::vector<double> val;
};

// Piecewise-linear constraint y = f(x): f has slope preslope left of the
// first breakpoint, passes through (x[k], y[k]) and has slope postslope right
// of the last one.  Breakpoint abscissae are non-decreasing (equal abscissae
// make a jump).
struct PwlConstraint {
  std::string name;
  int ycol = 0;  // dependent variable
  int xcol = 0;  // independent variable
  double preslope = 0.0;
  double postslope = 0.0;
  std::vector<double> x, y;
};

// One objective of a multi-objective model (blended by weight within a
// priority level, levels optimized in decreasing priority).  `ind` holds
// distinct column indices.
struct ObjectiveRecord {
  std::string name;
  int priority = 0;
  double weight = 1.0;
  double abstol = 0.0;
  double reltol = 0.0;
  double offset = 0.0;
  std::vector<int> ind;  // linear terms
  std::vector<double> val;
};

struct ModelData {
  std::string probname;
  std::string objname;
  int objsen = 1;          // 1 minimize, -1 maximize
  double objoffset = 0.0;  // constant term of the objective

  // Columns (n of them).
  std::vector<double> obj, lb, ub;
  std::vector<char> ctype;             // empty when all columns are continuous; else 'C','I','B','S','N'
  std::vector<std::string> colname;    // empty when the model has no column names

  // Rows (m of them).  sense 'L' (<= rhs), 'G' (>= rhs), 'E' (= rhs),
  // 'R' (ranged: rhs <= a x <= rhs + rngval when rngval >= 0,
  //               rhs + rngval <= a x <= rhs when rngval < 0).
  std::vector<double> rhs, rngval;     // rngval empty when no row is ranged
  std::vector<char> sense;
  std::vector<std::string> rowname;

  // Matrix column-wise: column j has entries matbeg[j] .. matbeg[j+1]-1;
  // matbeg has n+1 entries.  Row indices within a column need not be sorted
  // but must be distinct.
  std::vector<int64_t> matbeg{0};
  std::vector<int> matind;
  std::vector<double> matval;

  // Quadratic objective: the objective is obj' x + 1/2 x' Q x with Q
  // symmetric; qobj holds the upper triangle of Q (col1 <= col2, each entry
  // once, coef = Q[col1][col2]).  Empty for a linear objective.
  std::vector<QuadTerm> qobj;

  std::vector<SosSet> sos;
  std::vector<QuadConstraint> qconstr;
  std::vector<IndicatorConstraint> indconstr;
  std::vector<LinearConstraint> usercuts;
  std::vector<LinearConstraint> lazycons;
  std::vector<PwlConstraint> pwl;
  // Multi-objective models: one record per objective, objective 0 first
  // (empty for an ordinary model, whose objective lives in
  // obj/objoffset/objname).  Objective 0 is also obj/objoffset/objname:
  // exportData fills both forms, replaceData takes the coefficients, offset
  // and name of objective 0 from obj/objoffset/objname and only the
  // priority, weight and tolerances from objectives[0].  A model with
  // records is multi-objective even when it has just one.
  std::vector<ObjectiveRecord> objectives;

  int numCols() const { return static_cast<int>(obj.size()); }
  int numRows() const { return static_cast<int>(rhs.size()); }
  int64_t numNz() const { return static_cast<int64_t>(matind.size()); }

  // Piecewise-linear constraints need the MIP search, so they make a MIP.
  bool isMip() const {
    for (char t : ctype)
      if (t != 'C') return true;
    return !sos.empty() || !pwl.empty();
  }
  bool hasQuadratic() const { return !qobj.empty() || !qconstr.empty(); }
};

}  // namespace vnt::model
