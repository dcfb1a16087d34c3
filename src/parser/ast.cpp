#include "parser/ast.h"

#include <array>

namespace quarn::py {

namespace {

template <class Enum, std::size_t N>
std::string_view name_in(const std::array<std::string_view, N>& names, Enum value) {
  auto index = static_cast<std::size_t>(value);
  return index < N ? names[index] : std::string_view("?");
}

constexpr std::array<std::string_view, 28> kStmtNames = {
    "FunctionDef", "AsyncFunctionDef", "ClassDef", "Return", "Delete", "Assign", "TypeAlias",
    "AugAssign", "AnnAssign", "For", "AsyncFor", "While", "If", "With", "AsyncWith", "Match",
    "Raise", "Try", "TryStar", "Assert", "Import", "ImportFrom", "Global", "Nonlocal", "Expr",
    "Pass", "Break", "Continue",
};
constexpr std::array<std::string_view, 27> kExprNames = {
    "BoolOp", "NamedExpr", "BinOp", "UnaryOp", "Lambda", "IfExp", "Dict", "Set", "ListComp",
    "SetComp", "DictComp", "GeneratorExp", "Await", "Yield", "YieldFrom", "Compare", "Call",
    "FormattedValue", "JoinedStr", "Constant", "Attribute", "Subscript", "Starred", "Name", "List",
    "Tuple", "Slice",
};
constexpr std::array<std::string_view, 8> kPatternNames = {
    "MatchValue", "MatchSingleton", "MatchSequence", "MatchMapping",
    "MatchClass", "MatchStar",      "MatchAs",       "MatchOr",
};
constexpr std::array<std::string_view, 3> kTypeParamNames = {"TypeVar", "ParamSpec", "TypeVarTuple"};
constexpr std::array<std::string_view, 3> kContextNames = {"Load", "Store", "Del"};
constexpr std::array<std::string_view, 2> kBoolOpNames = {"And", "Or"};
constexpr std::array<std::string_view, 13> kOperatorNames = {
    "Add", "Sub", "Mult", "MatMult", "Div", "Mod", "Pow",
    "LShift", "RShift", "BitOr", "BitXor", "BitAnd", "FloorDiv",
};
constexpr std::array<std::string_view, 4> kUnaryNames = {"Invert", "Not", "UAdd", "USub"};
constexpr std::array<std::string_view, 10> kCmpNames = {
    "Eq", "NotEq", "Lt", "LtE", "Gt", "GtE", "Is", "IsNot", "In", "NotIn",
};

}  // namespace

std::string_view kind_name(StmtKind kind) { return name_in(kStmtNames, kind); }
std::string_view kind_name(ExprKind kind) { return name_in(kExprNames, kind); }
std::string_view kind_name(PatternKind kind) { return name_in(kPatternNames, kind); }
std::string_view kind_name(TypeParamKind kind) { return name_in(kTypeParamNames, kind); }
std::string_view kind_name(ExprContext ctx) { return name_in(kContextNames, ctx); }
std::string_view kind_name(BoolOperator op) { return name_in(kBoolOpNames, op); }
std::string_view kind_name(Operator op) { return name_in(kOperatorNames, op); }
std::string_view kind_name(UnaryOperator op) { return name_in(kUnaryNames, op); }
std::string_view kind_name(CmpOperator op) { return name_in(kCmpNames, op); }

}  // namespace quarn::py
