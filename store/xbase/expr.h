// xBase expressions over the fields of one table: field names (any case),
// string literals in "…", '…' or […], "+" (concatenation), upper(),
// lower(), trim()/rtrim(), ltrim(), alltrim(), DELETED(), .T., .F.,
// comparisons "=" (non-exact: the right side compared with the start of
// the left side padded with blanks), "==" (exact), "<>" / "#" / "!=", "$"
// (contained in), and .not. / .and. / .or. with parentheses.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "dbf.h"

namespace xbase {

struct EvalContext {
  const char* record = nullptr;  // the record's bytes, deletion flag first
  // Memo text of a field of the record; only needed when the expression
  // names a memo field.
  std::function<std::string(int field)> memo;
};

// The message of an expression that cannot be used on a table, naming the
// expression, the table file and the problem.
std::string ExpressionError(const std::string& text, const DbfFile& dbf, const std::string& why);

class Expr {
 public:
  enum class Type { String, Bool };
  struct Node;

  // Throws Error(Expression) naming the expression and the problem.
  static std::unique_ptr<Expr> Parse(const std::string& text, const DbfFile& dbf);
  ~Expr();

  const std::string& text() const { return text_; }
  Type type() const;
  int width() const;  // bytes of a string result
  bool usesMemo() const { return usesMemo_; }

  // Appends the string value to out.
  void EvalString(const EvalContext& ctx, std::string& out) const;
  bool EvalBool(const EvalContext& ctx) const;

  // When the expression is a string whose leading part is a plain field:
  // that field's index, else -1.
  int LeadingField() const;
  // When the expression's leading condition is `field = constant` (the
  // non-exact comparison): the field, the constant, and whether that
  // condition is the whole expression.
  bool LeadingEquality(int& field, std::string& constant, bool& whole) const;
  // True when the expression holds only for records that are not deleted
  // (it is, or starts with an .and. of, .not. DELETED()).
  bool ExcludesDeleted() const;

 private:
  Expr() = default;
  std::string text_;
  std::unique_ptr<Node> root_;
  bool usesMemo_ = false;
};

}  // namespace xbase
