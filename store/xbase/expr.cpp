#include "expr.h"

#include <cctype>
#include <cstring>

#include "text.h"

namespace xbase {

struct Expr::Node {
  enum Kind { Field, Literal, Bool, Concat, Upper, Lower, RTrim, LTrim, AllTrim, Deleted,
              Not, And, Or, Eq, ExactEq, Ne, Contains };
  Kind kind;
  Type type = Type::String;
  int width = 0;
  int field = -1;
  uint32_t offset = 0;
  bool memo = false;
  bool value = false;
  std::string lit;
  std::unique_ptr<Node> a, b;

  explicit Node(Kind k) : kind(k) {}

  bool Constant() const {
    switch (kind) {
      case Literal: case Bool: return true;
      case Field: case Deleted: return false;
      default: return (!a || a->Constant()) && (!b || b->Constant());
    }
  }

  void Str(const EvalContext& ctx, std::string& out) const {
    switch (kind) {
      case Field:
        if (memo) {
          out += ctx.memo ? ctx.memo(field) : std::string();
        } else {
          out.append(ctx.record + offset, (size_t)width);
        }
        return;
      case Literal: out += lit; return;
      case Concat: a->Str(ctx, out); b->Str(ctx, out); return;
      case Upper: case Lower: {
        size_t start = out.size();
        a->Str(ctx, out);
        if (kind == Upper)
          UpperInPlace(out.data() + start, out.size() - start);
        else
          LowerInPlace(out.data() + start, out.size() - start);
        return;
      }
      case RTrim: case LTrim: case AllTrim: {
        size_t start = out.size();
        a->Str(ctx, out);
        if (kind != LTrim) out.resize(start + TrimmedLength(out.data() + start, out.size() - start));
        if (kind != RTrim) {
          size_t k = start;
          while (k < out.size() && out[k] == ' ') ++k;
          out.erase(start, k - start);
        }
        return;
      }
      default: return;
    }
  }

  bool Truth(const EvalContext& ctx) const {
    switch (kind) {
      case Bool: return value;
      case Deleted: return ctx.record && ctx.record[0] == '*';
      case Not: return !a->Truth(ctx);
      case And: return a->Truth(ctx) && b->Truth(ctx);
      case Or: return a->Truth(ctx) || b->Truth(ctx);
      case Eq: case ExactEq: case Ne: case Contains: {
        if (a->type == Type::Bool) {
          bool x = a->Truth(ctx), y = b->Truth(ctx);
          return kind == Ne ? x != y : x == y;
        }
        thread_local std::string l, r;
        l.clear();
        r.clear();
        a->Str(ctx, l);
        b->Str(ctx, r);
        switch (kind) {
          case Eq: return PaddedStartsWith(l, r);
          case ExactEq: return ComparePadded(l, r) == 0;
          case Ne: return !PaddedStartsWith(l, r);
          default: return r.find(l) != std::string::npos;  // l $ r
        }
      }
      default: return false;
    }
  }
};

std::string ExpressionError(const std::string& text, const DbfFile& dbf, const std::string& why) {
  // The table is named: an expression that fits the program's tables fails
  // on a table whose header is damaged or foreign, and the user has to know
  // which file that is.
  std::string table = dbf.path().empty() ? std::string() : " for table " + dbf.path();
  return "invalid expression \"" + text + "\"" + table + ": " + why;
}

namespace {

class Parser {
 public:
  Parser(const std::string& text, const DbfFile& dbf, bool& usesMemo)
      : s_(text), dbf_(dbf), usesMemo_(usesMemo) {}

  std::unique_ptr<Expr::Node> Parse() {
    if (s_.size() > kMaxLength) {
      p_ = kMaxLength;
      Fail("longer than " + std::to_string(kMaxLength) + " characters");
    }
    auto n = OrExpr();
    Skip();
    if (p_ != s_.size()) Fail("unexpected \"" + s_.substr(p_, 10) + "\"");
    return n;
  }

 private:
  using NodeP = std::unique_ptr<Expr::Node>;
  using K = Expr::Node::Kind;
  // Limits that keep parsing and evaluation within the stack.
  static constexpr size_t kMaxLength = 4096;
  static constexpr int kMaxDepth = 64;
  int depth_ = 0;
  struct Nest {
    Parser& p;
    explicit Nest(Parser& parser) : p(parser) {
      if (++p.depth_ > kMaxDepth) p.Fail("nested too deeply");
    }
    ~Nest() { --p.depth_; }
  };

  [[noreturn]] void Fail(const std::string& why) {
    throw Error(ErrorCode::Expression, ExpressionError(s_, dbf_, why + " at position " + std::to_string(p_ + 1)));
  }

  void Skip() {
    while (p_ < s_.size() && std::isspace((unsigned char)s_[p_])) ++p_;
  }

  bool Keyword(const char* kw) {  // ".and." etc., any case
    Skip();
    size_t n = std::strlen(kw);
    if (p_ + n > s_.size()) return false;
    for (size_t i = 0; i < n; ++i)
      if (std::tolower((unsigned char)s_[p_ + i]) != kw[i]) return false;
    p_ += n;
    return true;
  }

  bool Sym(const char* sym) {
    Skip();
    size_t n = std::strlen(sym);
    if (s_.compare(p_, n, sym) != 0) return false;
    p_ += n;
    return true;
  }

  static NodeP Make(K kind, Expr::Type type, NodeP a = nullptr, NodeP b = nullptr) {
    auto n = std::make_unique<Expr::Node>(kind);
    n->type = type;
    n->a = std::move(a);
    n->b = std::move(b);
    return n;
  }

  void Want(const NodeP& n, Expr::Type t, const char* what) {
    if (n->type != t) Fail(std::string(what) + (t == Expr::Type::Bool ? " needs a logical value" : " needs text"));
  }

  NodeP OrExpr() {
    Nest nest(*this);
    auto l = AndExpr();
    while (Keyword(".or.")) {
      auto r = AndExpr();
      Want(l, Expr::Type::Bool, ".or.");
      Want(r, Expr::Type::Bool, ".or.");
      l = Make(K::Or, Expr::Type::Bool, std::move(l), std::move(r));
    }
    return l;
  }

  NodeP AndExpr() {
    auto l = NotExpr();
    while (Keyword(".and.")) {
      auto r = NotExpr();
      Want(l, Expr::Type::Bool, ".and.");
      Want(r, Expr::Type::Bool, ".and.");
      l = Make(K::And, Expr::Type::Bool, std::move(l), std::move(r));
    }
    return l;
  }

  NodeP NotExpr() {
    Nest nest(*this);
    if (Keyword(".not.") || Sym("!")) {
      if (p_ < s_.size() && s_[p_] == '=') Fail("unexpected \"=\"");
      auto a = NotExpr();
      Want(a, Expr::Type::Bool, ".not.");
      return Make(K::Not, Expr::Type::Bool, std::move(a));
    }
    return Compare();
  }

  NodeP Compare() {
    auto l = Sum();
    K kind;
    if (Sym("=="))
      kind = K::ExactEq;
    else if (Sym("<>") || Sym("!=") || Sym("#"))
      kind = K::Ne;
    else if (Sym("="))
      kind = K::Eq;
    else if (Sym("$"))
      kind = K::Contains;
    else
      return l;
    auto r = Sum();
    if (l->type != r->type) Fail("comparison of text with a logical value");
    if (kind == K::Contains && l->type != Expr::Type::String) Fail("\"$\" needs text");
    return Make(kind, Expr::Type::Bool, std::move(l), std::move(r));
  }

  NodeP Sum() {
    auto l = Primary();
    while (Sym("+")) {
      auto r = Primary();
      Want(l, Expr::Type::String, "\"+\"");
      Want(r, Expr::Type::String, "\"+\"");
      int w = l->width + r->width;
      l = Make(K::Concat, Expr::Type::String, std::move(l), std::move(r));
      l->width = w;
    }
    return l;
  }

  NodeP Literal(char close) {
    size_t end = s_.find(close, p_);
    if (end == std::string::npos) Fail("unterminated text literal");
    auto n = Make(K::Literal, Expr::Type::String);
    n->lit = s_.substr(p_, end - p_);
    n->width = (int)n->lit.size();
    p_ = end + 1;
    return n;
  }

  NodeP Primary() {
    Skip();
    if (p_ >= s_.size()) Fail("missing operand");
    char c = s_[p_];
    if (c == '"' || c == '\'') {
      ++p_;
      return Literal(c);
    }
    if (c == '[') {
      ++p_;
      return Literal(']');
    }
    if (c == '(') {
      ++p_;
      auto n = OrExpr();
      if (!Sym(")")) Fail("missing \")\"");
      return n;
    }
    if (Keyword(".t.") || Keyword(".y.")) {
      auto n = Make(K::Bool, Expr::Type::Bool);
      n->value = true;
      return n;
    }
    if (Keyword(".f.") || Keyword(".n.")) return Make(K::Bool, Expr::Type::Bool);
    if (!std::isalpha((unsigned char)c) && c != '_') Fail("unexpected \"" + std::string(1, c) + "\"");
    size_t start = p_;
    while (p_ < s_.size() && (std::isalnum((unsigned char)s_[p_]) || s_[p_] == '_')) ++p_;
    std::string name = s_.substr(start, p_ - start);
    std::string lower;
    for (char ch : name) lower += (char)std::tolower((unsigned char)ch);
    Skip();
    if (p_ < s_.size() && s_[p_] == '(') {
      ++p_;
      return Function(lower);
    }
    int f = dbf_.FieldIndex(name);
    if (f < 0) {
      p_ = start;
      Fail("unknown field \"" + name + "\"");
    }
    const DbfField& fld = dbf_.fields()[(size_t)f];
    auto n = Make(K::Field, Expr::Type::String);
    n->field = f;
    n->offset = fld.offset;
    n->width = fld.def.width;
    char t = fld.def.type;
    if (t == 'M' || t == 'G' || t == 'B' || t == 'P') {
      n->memo = true;
      n->width = 0;
      usesMemo_ = true;
    }
    return n;
  }

  NodeP Function(const std::string& name) {
    if (name == "deleted") {
      if (!Sym(")")) Fail("DELETED() takes no argument");
      return Make(K::Deleted, Expr::Type::Bool);
    }
    K kind;
    if (name == "upper")
      kind = K::Upper;
    else if (name == "lower")
      kind = K::Lower;
    else if (name == "trim" || name == "rtrim")
      kind = K::RTrim;
    else if (name == "ltrim")
      kind = K::LTrim;
    else if (name == "alltrim")
      kind = K::AllTrim;
    else
      Fail("unknown function \"" + name + "()\"");
    auto a = OrExpr();
    Want(a, Expr::Type::String, (name + "()").c_str());
    if (!Sym(")")) Fail("missing \")\"");
    int w = a->width;
    auto n = Make(kind, Expr::Type::String, std::move(a));
    n->width = w;
    return n;
  }

  const std::string& s_;
  const DbfFile& dbf_;
  bool& usesMemo_;
  size_t p_ = 0;
};

}  // namespace

Expr::~Expr() = default;

std::unique_ptr<Expr> Expr::Parse(const std::string& text, const DbfFile& dbf) {
  std::unique_ptr<Expr> e(new Expr);
  e->text_ = text;
  bool memo = false;
  Parser parser(e->text_, dbf, memo);
  e->root_ = parser.Parse();
  e->usesMemo_ = memo;
  return e;
}

Expr::Type Expr::type() const { return root_->type; }
int Expr::width() const { return root_->width; }

void Expr::EvalString(const EvalContext& ctx, std::string& out) const { root_->Str(ctx, out); }
bool Expr::EvalBool(const EvalContext& ctx) const { return root_->Truth(ctx); }

int Expr::LeadingField() const {
  const Node* n = root_.get();
  while (n->kind == Node::Concat) n = n->a.get();
  return (n->kind == Node::Field && !n->memo) ? n->field : -1;
}

bool Expr::LeadingEquality(int& field, std::string& constant, bool& whole) const {
  const Node* n = root_.get();
  whole = true;
  while (n->kind == Node::And) {
    n = n->a.get();
    whole = false;
  }
  if (n->kind != Node::Eq || n->a->kind != Node::Field || n->a->memo || !n->b->Constant() ||
      n->b->type != Type::String)
    return false;
  field = n->a->field;
  constant.clear();
  EvalContext none;
  n->b->Str(none, constant);
  return true;
}

bool Expr::ExcludesDeleted() const {
  const Node* n = root_.get();
  while (n->kind == Node::And) n = n->a.get();
  return n->kind == Node::Not && n->a->kind == Node::Deleted;
}

}  // namespace xbase
