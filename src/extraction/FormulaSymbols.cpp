#include "extraction/FormulaSymbols.h"

#include "core/UnicodeText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace ombrix::formula {

namespace {

struct Entry {
    char32_t code;
    const char* latex;
    Atom atom;
    Role role = Role::Symbol;
};

using A = Atom;
using R = Role;

// Unicode to LaTeX, for what is not a plain letter or digit.
const Entry kEntries[] = {
    // Greek, lower case (U+03B1…) and the variant forms
    {U'α', "\\alpha", A::Ord},
    {U'β', "\\beta", A::Ord},
    {U'γ', "\\gamma", A::Ord},
    {U'δ', "\\delta", A::Ord},
    {U'ε', "\\varepsilon", A::Ord},
    {U'ζ', "\\zeta", A::Ord},
    {U'η', "\\eta", A::Ord},
    {U'θ', "\\theta", A::Ord},
    {U'ι', "\\iota", A::Ord},
    {U'κ', "\\kappa", A::Ord},
    {U'λ', "\\lambda", A::Ord},
    {U'μ', "\\mu", A::Ord},
    {U'ν', "\\nu", A::Ord},
    {U'ξ', "\\xi", A::Ord},
    {U'ο', "o", A::Ord},
    {U'π', "\\pi", A::Ord},
    {U'ρ', "\\rho", A::Ord},
    {U'ς', "\\varsigma", A::Ord},
    {U'σ', "\\sigma", A::Ord},
    {U'τ', "\\tau", A::Ord},
    {U'υ', "\\upsilon", A::Ord},
    {U'φ', "\\varphi", A::Ord},
    {U'χ', "\\chi", A::Ord},
    {U'ψ', "\\psi", A::Ord},
    {U'ω', "\\omega", A::Ord},
    {U'ϑ', "\\vartheta", A::Ord},
    {U'ϕ', "\\phi", A::Ord},
    {U'ϖ', "\\varpi", A::Ord},
    {U'ϱ', "\\varrho", A::Ord},
    {U'ϵ', "\\epsilon", A::Ord},
    {U'ϰ', "\\varkappa", A::Ord},
    {U'Ϝ', "\\digamma", A::Ord},
    // Greek, upper case
    {U'Γ', "\\Gamma", A::Ord},
    {U'Δ', "\\Delta", A::Ord},
    {U'Θ', "\\Theta", A::Ord},
    {U'Λ', "\\Lambda", A::Ord},
    {U'Ξ', "\\Xi", A::Ord},
    {U'Π', "\\Pi", A::Ord},
    {U'Σ', "\\Sigma", A::Ord},
    {U'Υ', "\\Upsilon", A::Ord},
    {U'Φ', "\\Phi", A::Ord},
    {U'Ψ', "\\Psi", A::Ord},
    {U'Ω', "\\Omega", A::Ord},
    {U'ϒ', "\\Upsilon", A::Ord},
    {U'Α', "A", A::Ord},
    {U'Β', "B", A::Ord},
    {U'Ε', "E", A::Ord},
    {U'Ζ', "Z", A::Ord},
    {U'Η', "H", A::Ord},
    {U'Ι', "I", A::Ord},
    {U'Κ', "K", A::Ord},
    {U'Μ', "M", A::Ord},
    {U'Ν', "N", A::Ord},
    {U'Ο', "O", A::Ord},
    {U'Ρ', "P", A::Ord},
    {U'Τ', "T", A::Ord},
    {U'Χ', "X", A::Ord},
    // letter-like
    {U'∂', "\\partial", A::Ord},
    {U'∇', "\\nabla", A::Ord},
    {U'∞', "\\infty", A::Ord},
    {U'ℓ', "\\ell", A::Ord},
    {U'℘', "\\wp", A::Ord},
    {U'ℜ', "\\Re", A::Ord},
    {U'ℑ', "\\Im", A::Ord},
    {U'ℵ', "\\aleph", A::Ord},
    {U'ℶ', "\\beth", A::Ord},
    {U'ℏ', "\\hbar", A::Ord},
    {U'ħ', "\\hbar", A::Ord},
    {U'ı', "\\imath", A::Ord},
    {U'ȷ', "\\jmath", A::Ord},
    {U'∅', "\\emptyset", A::Ord},
    {U'⌀', "\\varnothing", A::Ord},
    {U'∀', "\\forall", A::Ord},
    {U'∃', "\\exists", A::Ord},
    {U'∄', "\\nexists", A::Ord},
    {U'¬', "\\neg", A::Ord},
    {U'⊤', "\\top", A::Ord},
    {U'⊥', "\\bot", A::Ord},
    {U'∠', "\\angle", A::Ord},
    {U'△', "\\triangle", A::Ord},
    {U'▵', "\\triangle", A::Ord},
    {U'□', "\\square", A::Ord},
    {U'◻', "\\square", A::Ord},
    {U'♭', "\\flat", A::Ord},
    {U'♮', "\\natural", A::Ord},
    {U'♯', "\\sharp", A::Ord},
    {U'♣', "\\clubsuit", A::Ord},
    {U'♢', "\\diamondsuit", A::Ord},
    {U'♡', "\\heartsuit", A::Ord},
    {U'♠', "\\spadesuit", A::Ord},
    {U'†', "\\dagger", A::Bin},
    {U'‡', "\\ddagger", A::Bin},
    {U'§', "\\S", A::Ord},
    {U'¶', "\\P", A::Ord},
    {U'′', "'", A::Ord},
    {U'″', "''", A::Ord},
    {U'‴', "'''", A::Ord},
    {U'°', "^{\\circ}", A::Ord},
    {U'…', "\\ldots", A::Inner},
    {U'⋯', "\\cdots", A::Inner},
    {U'⋮', "\\vdots", A::Ord},
    {U'⋱', "\\ddots", A::Inner},
    {U'\\', "\\backslash", A::Ord},
    // binary operators
    {U'+', "+", A::Bin},
    {U'−', "-", A::Bin},
    {U'-', "-", A::Bin},
    {U'*', "*", A::Bin},
    {U'∗', "\\ast", A::Bin},
    {U'±', "\\pm", A::Bin},
    {U'∓', "\\mp", A::Bin},
    {U'×', "\\times", A::Bin},
    {U'÷', "\\div", A::Bin},
    {U'·', "\\cdot", A::Bin},
    {U'⋅', "\\cdot", A::Bin},
    {U'∘', "\\circ", A::Bin},
    {U'∙', "\\bullet", A::Bin},
    {U'•', "\\bullet", A::Bin},
    {U'⋆', "\\star", A::Bin},
    {U'⋄', "\\diamond", A::Bin},
    {U'∩', "\\cap", A::Bin},
    {U'∪', "\\cup", A::Bin},
    {U'⊎', "\\uplus", A::Bin},
    {U'⊓', "\\sqcap", A::Bin},
    {U'⊔', "\\sqcup", A::Bin},
    {U'∧', "\\wedge", A::Bin},
    {U'∨', "\\vee", A::Bin},
    {U'⊕', "\\oplus", A::Bin},
    {U'⊖', "\\ominus", A::Bin},
    {U'⊗', "\\otimes", A::Bin},
    {U'⊘', "\\oslash", A::Bin},
    {U'⊙', "\\odot", A::Bin},
    {U'◯', "\\bigcirc", A::Bin},
    {U'∖', "\\setminus", A::Bin},
    {U'⧵', "\\setminus", A::Bin},
    {U'≀', "\\wr", A::Bin},
    {U'⨿', "\\amalg", A::Bin},
    {U'◁', "\\triangleleft", A::Bin},
    {U'▷', "\\triangleright", A::Bin},
    {U'⊲', "\\lhd", A::Bin},
    {U'⊳', "\\rhd", A::Bin},
    {U'⋉', "\\ltimes", A::Bin},
    {U'⋊', "\\rtimes", A::Bin},
    {U'⊠', "\\boxtimes", A::Bin},
    {U'⊞', "\\boxplus", A::Bin},
    {U'⊡', "\\boxdot", A::Bin},
    // relations
    {U'=', "=", A::Rel},
    {U'<', "<", A::Rel},
    {U'>', ">", A::Rel},
    {U':', ":", A::Rel},
    {U'∶', ":", A::Rel},
    {U'≠', "\\neq", A::Rel},
    {U'≤', "\\leq", A::Rel},
    {U'≥', "\\geq", A::Rel},
    {U'⩽', "\\leqslant", A::Rel},
    {U'⩾', "\\geqslant", A::Rel},
    {U'≪', "\\ll", A::Rel},
    {U'≫', "\\gg", A::Rel},
    {U'≺', "\\prec", A::Rel},
    {U'≻', "\\succ", A::Rel},
    {U'⪯', "\\preceq", A::Rel},
    {U'⪰', "\\succeq", A::Rel},
    {U'≡', "\\equiv", A::Rel},
    {U'∼', "\\sim", A::Rel},
    {U'≃', "\\simeq", A::Rel},
    {U'≈', "\\approx", A::Rel},
    {U'≅', "\\cong", A::Rel},
    {U'≍', "\\asymp", A::Rel},
    {U'∝', "\\propto", A::Rel},
    {U'≐', "\\doteq", A::Rel},
    {U'≜', "\\triangleq", A::Rel},
    {U'≔', "\\coloneqq", A::Rel},
    {U'⊂', "\\subset", A::Rel},
    {U'⊃', "\\supset", A::Rel},
    {U'⊆', "\\subseteq", A::Rel},
    {U'⊇', "\\supseteq", A::Rel},
    {U'⊊', "\\subsetneq", A::Rel},
    {U'⊋', "\\supsetneq", A::Rel},
    {U'⊏', "\\sqsubset", A::Rel},
    {U'⊐', "\\sqsupset", A::Rel},
    {U'⊑', "\\sqsubseteq", A::Rel},
    {U'⊒', "\\sqsupseteq", A::Rel},
    {U'∈', "\\in", A::Rel},
    {U'∉', "\\notin", A::Rel},
    {U'∋', "\\ni", A::Rel},
    {U'⊢', "\\vdash", A::Rel},
    {U'⊣', "\\dashv", A::Rel},
    {U'⊨', "\\models", A::Rel},
    {U'∣', "\\mid", A::Rel},
    {U'∤', "\\nmid", A::Rel},
    {U'∥', "\\parallel", A::Rel},
    {U'⊥', "\\perp", A::Rel},
    {U'⌣', "\\smile", A::Rel},
    {U'⌢', "\\frown", A::Rel},
    {U'≲', "\\lesssim", A::Rel},
    {U'≳', "\\gtrsim", A::Rel},
    {U'≮', "\\nless", A::Rel},
    {U'≯', "\\ngtr", A::Rel},
    {U'≰', "\\nleq", A::Rel},
    {U'≱', "\\ngeq", A::Rel},
    {U'≁', "\\nsim", A::Rel},
    {U'≢', "\\not\\equiv", A::Rel},
    {U'⊊', "\\subsetneq", A::Rel},
    {U'∽', "\\backsim", A::Rel},
    {U'≊', "\\approxeq", A::Rel},
    {U'⋈', "\\bowtie", A::Rel},
    // arrows
    {U'←', "\\leftarrow", A::Rel},
    {U'→', "\\to", A::Rel},
    {U'↑', "\\uparrow", A::Rel},
    {U'↓', "\\downarrow", A::Rel},
    {U'↔', "\\leftrightarrow", A::Rel},
    {U'↕', "\\updownarrow", A::Rel},
    {U'↗', "\\nearrow", A::Rel},
    {U'↘', "\\searrow", A::Rel},
    {U'↖', "\\nwarrow", A::Rel},
    {U'↙', "\\swarrow", A::Rel},
    {U'⇐', "\\Leftarrow", A::Rel},
    {U'⇒', "\\Rightarrow", A::Rel},
    {U'⇑', "\\Uparrow", A::Rel},
    {U'⇓', "\\Downarrow", A::Rel},
    {U'⇔', "\\Leftrightarrow", A::Rel},
    {U'⇕', "\\Updownarrow", A::Rel},
    {U'↦', "\\mapsto", A::Rel},
    {U'↩', "\\hookleftarrow", A::Rel},
    {U'↪', "\\hookrightarrow", A::Rel},
    {U'⟵', "\\longleftarrow", A::Rel},
    {U'⟶', "\\longrightarrow", A::Rel},
    {U'⟷', "\\longleftrightarrow", A::Rel},
    {U'⟸', "\\Longleftarrow", A::Rel},
    {U'⟹', "\\Longrightarrow", A::Rel},
    {U'⟺', "\\iff", A::Rel},
    {U'⟼', "\\longmapsto", A::Rel},
    {U'↼', "\\leftharpoonup", A::Rel},
    {U'⇀', "\\rightharpoonup", A::Rel},
    {U'↽', "\\leftharpoondown", A::Rel},
    {U'⇁', "\\rightharpoondown", A::Rel},
    {U'⇌', "\\rightleftharpoons", A::Rel},
    {U'↠', "\\twoheadrightarrow", A::Rel},
    {U'⇝', "\\rightsquigarrow", A::Rel},
    // punctuation
    {U',', ",", A::Punct},
    {U';', ";", A::Punct},
    {U'.', ".", A::Ord},
    {U'/', "/", A::Ord},
    {U'!', "!", A::Close},
    {U'?', "?", A::Close},
    {U'\'', "'", A::Ord},
    {U'@', "@", A::Ord},
    {U'#', "\\#", A::Ord},
    {U'%', "\\%", A::Ord},
    {U'&', "\\&", A::Ord},
    {U'$', "\\$", A::Ord},
    {U'_', "\\_", A::Ord},
    {U'~', "\\tilde", A::Ord, R::Accent},
    // big operators
    {U'∑', "\\sum", A::Op, R::BigOp},
    {U'∏', "\\prod", A::Op, R::BigOp},
    {U'∐', "\\coprod", A::Op, R::BigOp},
    {U'∫', "\\int", A::Op, R::BigOp},
    {U'∬', "\\iint", A::Op, R::BigOp},
    {U'∭', "\\iiint", A::Op, R::BigOp},
    {U'∮', "\\oint", A::Op, R::BigOp},
    {U'⋃', "\\bigcup", A::Op, R::BigOp},
    {U'⋂', "\\bigcap", A::Op, R::BigOp},
    {U'⨄', "\\biguplus", A::Op, R::BigOp},
    {U'⨆', "\\bigsqcup", A::Op, R::BigOp},
    {U'⋁', "\\bigvee", A::Op, R::BigOp},
    {U'⋀', "\\bigwedge", A::Op, R::BigOp},
    {U'⨁', "\\bigoplus", A::Op, R::BigOp},
    {U'⨂', "\\bigotimes", A::Op, R::BigOp},
    {U'⨀', "\\bigodot", A::Op, R::BigOp},
    {U'⨌', "\\iiiint", A::Op, R::BigOp},
    // the root sign
    {U'√', "\\surd", A::Ord, R::Radical},
    {U'∛', "\\surd", A::Ord, R::Radical},
    // accents, as combining marks and as spacing marks
    {0x0302, "\\hat", A::Ord, R::Accent},
    {0x0303, "\\tilde", A::Ord, R::Accent},
    {0x0304, "\\bar", A::Ord, R::Accent},
    {0x0305, "\\bar", A::Ord, R::Accent},
    {0x0307, "\\dot", A::Ord, R::Accent},
    {0x0308, "\\ddot", A::Ord, R::Accent},
    {0x20DB, "\\dddot", A::Ord, R::Accent},
    {0x20D7, "\\vec", A::Ord, R::Accent},
    {0x0301, "\\acute", A::Ord, R::Accent},
    {0x0300, "\\grave", A::Ord, R::Accent},
    {0x0306, "\\breve", A::Ord, R::Accent},
    {0x030C, "\\check", A::Ord, R::Accent},
    {0x030A, "\\mathring", A::Ord, R::Accent},
    {U'ˆ', "\\hat", A::Ord, R::Accent},
    {U'^', "\\hat", A::Ord, R::Accent},
    {U'˜', "\\tilde", A::Ord, R::Accent},
    {U'¯', "\\bar", A::Ord, R::Accent},
    {U'ˉ', "\\bar", A::Ord, R::Accent},
    {U'˙', "\\dot", A::Ord, R::Accent},
    {U'¨', "\\ddot", A::Ord, R::Accent},
    {U'´', "\\acute", A::Ord, R::Accent},
    {U'`', "\\grave", A::Ord, R::Accent},
    {U'˘', "\\breve", A::Ord, R::Accent},
    {U'ˇ', "\\check", A::Ord, R::Accent},
    {U'˚', "\\mathring", A::Ord, R::Accent},
    {U'⃗', "\\vec", A::Ord, R::Accent},
    {U'⏞', "\\overbrace", A::Ord, R::WideAccent},
    {U'⏟', "\\underbrace", A::Ord, R::WideAccent},
};

// Delimiters: what each stands for in LaTeX and whether it opens or closes.
struct Fence {
    char32_t code;
    const char* latex;
    bool opens, closes;
};
const Fence kFences[] = {
    {U'(', "(", true, false},
    {U')', ")", false, true},
    {U'[', "[", true, false},
    {U']', "]", false, true},
    {U'{', "\\{", true, false},
    {U'}', "\\}", false, true},
    {U'⟨', "\\langle", true, false},
    {U'⟩', "\\rangle", false, true},
    {U'〈', "\\langle", true, false},
    {U'〉', "\\rangle", false, true},
    {U'⌊', "\\lfloor", true, false},
    {U'⌋', "\\rfloor", false, true},
    {U'⌈', "\\lceil", true, false},
    {U'⌉', "\\rceil", false, true},
    {U'⟦', "\\llbracket", true, false},
    {U'⟧', "\\rrbracket", false, true},
    {U'|', "|", true, true},
    {U'‖', "\\|", true, true},
    {U'∥', "\\|", true, true},
    {U'∣', "|", true, true},
};

// Pieces of built-up delimiters.
struct PieceEntry {
    char32_t code;
    char32_t makes; // the delimiter
    Piece piece;
};
const PieceEntry kPieces[] = {
    {U'⎛', U'(', Piece::Top},    {U'⎜', U'(', Piece::Extension}, {U'⎝', U'(', Piece::Bottom},
    {U'⎞', U')', Piece::Top},    {U'⎟', U')', Piece::Extension}, {U'⎠', U')', Piece::Bottom},
    {U'⎡', U'[', Piece::Top},    {U'⎢', U'[', Piece::Extension}, {U'⎣', U'[', Piece::Bottom},
    {U'⎤', U']', Piece::Top},    {U'⎥', U']', Piece::Extension}, {U'⎦', U']', Piece::Bottom},
    {U'⎧', U'{', Piece::Top},    {U'⎨', U'{', Piece::Middle},    {U'⎩', U'{', Piece::Bottom},
    {U'⎫', U'}', Piece::Top},    {U'⎬', U'}', Piece::Middle},    {U'⎭', U'}', Piece::Bottom},
    {U'⎪', 0, Piece::Extension}, {U'⏐', U'|', Piece::Extension}, {U'⎷', U'√', Piece::Bottom},
    {U'⌠', U'∫', Piece::Top},    {U'⎮', U'∫', Piece::Extension}, {U'⌡', U'∫', Piece::Bottom},
};

// Glyph names of TeX's math fonts that no Unicode map names, or that the Adobe list maps to
// something else than TeX means by them.
struct NamedGlyph {
    const char* name;
    char32_t code;
};
const NamedGlyph kTexGlyphs[] = {
    // the extension font: sized variants and big operators
    {"parenleft", U'('},
    {"parenright", U')'},
    {"bracketleft", U'['},
    {"bracketright", U']'},
    {"floorleft", U'⌊'},
    {"floorright", U'⌋'},
    {"ceilingleft", U'⌈'},
    {"ceilingright", U'⌉'},
    {"braceleft", U'{'},
    {"braceright", U'}'},
    {"angbracketleft", U'⟨'},
    {"angbracketright", U'⟩'},
    {"slash", U'/'},
    {"backslash", U'\\'},
    {"radical", U'√'},
    {"bar", U'|'},
    {"bardbl", U'‖'},
    {"vextendsingle", U'⏐'},
    {"vextenddouble", U'‖'},
    {"summation", U'∑'},
    {"product", U'∏'},
    {"coproduct", U'∐'},
    {"integral", U'∫'},
    {"contintegral", U'∮'},
    {"union", U'⋃'},
    {"intersection", U'⋂'},
    {"unionmulti", U'⨄'},
    {"logicaland", U'⋀'},
    {"logicalor", U'⋁'},
    {"circledot", U'⨀'},
    {"circleplus", U'⨁'},
    {"circlemultiply", U'⨂'},
    {"unionsq", U'⨆'},
    // pieces
    {"parenlefttp", U'⎛'},
    {"parenleftex", U'⎜'},
    {"parenleftbt", U'⎝'},
    {"parenrighttp", U'⎞'},
    {"parenrightex", U'⎟'},
    {"parenrightbt", U'⎠'},
    {"bracketlefttp", U'⎡'},
    {"bracketleftex", U'⎢'},
    {"bracketleftbt", U'⎣'},
    {"bracketrighttp", U'⎤'},
    {"bracketrightex", U'⎥'},
    {"bracketrightbt", U'⎦'},
    {"bracelefttp", U'⎧'},
    {"braceleftmid", U'⎨'},
    {"braceleftbt", U'⎩'},
    {"bracerighttp", U'⎫'},
    {"bracerightmid", U'⎬'},
    {"bracerightbt", U'⎭'},
    {"braceex", U'⎪'},
    {"barex", U'⏐'},
    {"bardblex", U'‖'},
    {"arrowvertex", U'⏐'},
    {"radicalbt", U'⎷'},
    {"radicalvertex", U'⏐'},
    {"radicaltp", U'⏐'},
    {"hatwide", 0x0302},
    {"hatwider", 0x0302},
    {"hatwidest", 0x0302},
    {"tildewide", 0x0303},
    {"tildewider", 0x0303},
    {"tildewidest", 0x0303},
    // the symbol font
    {"minus", U'−'},
    {"periodcentered", U'·'},
    {"multiply", U'×'},
    {"asteriskmath", U'∗'},
    {"divide", U'÷'},
    {"diamondmath", U'⋄'},
    {"plusminus", U'±'},
    {"minusplus", U'∓'},
    {"circleminus", U'⊖'},
    {"circledivide", U'⊘'},
    {"circlecopyrt", U'◯'},
    {"openbullet", U'∘'},
    {"bullet", U'∙'},
    {"equivasymptotic", U'≍'},
    {"equivalence", U'≡'},
    {"reflexsubset", U'⊆'},
    {"reflexsuperset", U'⊇'},
    {"lessequal", U'≤'},
    {"greaterequal", U'≥'},
    {"precedesequal", U'⪯'},
    {"followsequal", U'⪰'},
    {"similar", U'∼'},
    {"approxequal", U'≈'},
    {"propersubset", U'⊂'},
    {"propersuperset", U'⊃'},
    {"lessmuch", U'≪'},
    {"greatermuch", U'≫'},
    {"precedes", U'≺'},
    {"follows", U'≻'},
    {"arrowleft", U'←'},
    {"arrowright", U'→'},
    {"arrowup", U'↑'},
    {"arrowdown", U'↓'},
    {"arrowboth", U'↔'},
    {"arrownortheast", U'↗'},
    {"arrowsoutheast", U'↘'},
    {"similarequal", U'≃'},
    {"arrowdblleft", U'⇐'},
    {"arrowdblright", U'⇒'},
    {"arrowdblup", U'⇑'},
    {"arrowdbldown", U'⇓'},
    {"arrowdblboth", U'⇔'},
    {"arrownorthwest", U'↖'},
    {"arrowsouthwest", U'↙'},
    {"proportional", U'∝'},
    {"prime", U'′'},
    {"infinity", U'∞'},
    {"element", U'∈'},
    {"owner", U'∋'},
    {"triangle", U'△'},
    {"triangleinv", U'▽'},
    {"universal", U'∀'},
    {"existential", U'∃'},
    {"logicalnot", U'¬'},
    {"emptyset", U'∅'},
    {"Rfractur", U'ℜ'},
    {"Ifractur", U'ℑ'},
    {"latticetop", U'⊤'},
    {"perpendicular", U'⊥'},
    {"aleph", U'ℵ'},
    {"intersectionsq", U'⊓'},
    {"turnstileleft", U'⊢'},
    {"turnstileright", U'⊣'},
    {"arrowbothv", U'↕'},
    {"arrowdblbothv", U'⇕'},
    {"wreathproduct", U'≀'},
    {"nabla", U'∇'},
    {"subsetsqequal", U'⊑'},
    {"supersetsqequal", U'⊒'},
    {"daggerdbl", U'‡'},
    {"dagger", U'†'},
    {"mapsto", U'↦'},
    {"club", U'♣'},
    {"diamond", U'♢'},
    {"heart", U'♡'},
    {"spade", U'♠'},
    // the math italic font
    {"alpha", U'α'},
    {"beta", U'β'},
    {"gamma", U'γ'},
    {"delta", U'δ'},
    {"epsilon", U'ε'},
    {"epsilon1", U'ϵ'},
    {"zeta", U'ζ'},
    {"eta", U'η'},
    {"theta", U'θ'},
    {"theta1", U'ϑ'},
    {"iota", U'ι'},
    {"kappa", U'κ'},
    {"lambda", U'λ'},
    {"mu", U'μ'},
    {"nu", U'ν'},
    {"xi", U'ξ'},
    {"pi", U'π'},
    {"pi1", U'ϖ'},
    {"rho", U'ρ'},
    {"rho1", U'ϱ'},
    {"sigma", U'σ'},
    {"sigma1", U'ς'},
    {"tau", U'τ'},
    {"upsilon", U'υ'},
    {"phi", U'ϕ'},
    {"phi1", U'φ'},
    {"chi", U'χ'},
    {"psi", U'ψ'},
    {"omega", U'ω'},
    {"partialdiff", U'∂'},
    {"lscript", U'ℓ'},
    {"weierstrass", U'℘'},
    {"dotlessi", U'ı'},
    {"dotlessj", U'ȷ'},
    {"star", U'⋆'},
    {"triangleleft", U'◁'},
    {"triangleright", U'▷'},
    {"vector", 0x20D7},
    {"slurbelow", U'⌣'},
    {"slurabove", U'⌢'},
    // accents of the roman font
    {"circumflex", 0x0302},
    {"tilde", 0x0303},
    {"macron", 0x0304},
    {"dotaccent", 0x0307},
    {"dieresis", 0x0308},
    {"acute", 0x0301},
    {"grave", 0x0300},
    {"breve", 0x0306},
    {"caron", 0x030C},
    {"ring", 0x030A},
    {"negationslash", 0x0338},
    // names other math fonts give the same accents
    {"vec", 0x20D7},
    {"dotacc", 0x0307},
    {"ddotacc", 0x0308},
    {"hatacc", 0x0302},
    {"tildeacc", 0x0303},
    {"baracc", 0x0304},
    {"acuteacc", 0x0301},
    {"graveacc", 0x0300},
    {"breveacc", 0x0306},
    {"checkacc", 0x030C},
    {"ringacc", 0x030A},
};

// Unicode's math alphanumerics: blocks of 26 capitals then 26 small letters.
struct LetterBlock {
    char32_t first;
    Alphabet alphabet;
};
const LetterBlock kLetterBlocks[] = {
    {0x1D400, Alphabet::Bold},         {0x1D434, Alphabet::Italic},
    {0x1D468, Alphabet::BoldItalic},   {0x1D49C, Alphabet::Calligraphic},
    {0x1D4D0, Alphabet::Calligraphic}, {0x1D504, Alphabet::Fraktur},
    {0x1D538, Alphabet::Blackboard},   {0x1D56C, Alphabet::Fraktur},
    {0x1D5A0, Alphabet::SansSerif},    {0x1D5D4, Alphabet::SansSerif},
    {0x1D608, Alphabet::SansSerif},    {0x1D63C, Alphabet::SansSerif},
    {0x1D670, Alphabet::Monospace},
};
// Letters that live outside the blocks (the blocks' holes).
struct LoneLetter {
    char32_t code;
    char letter;
    Alphabet alphabet;
};
const LoneLetter kLoneLetters[] = {
    {U'ℎ', 'h', Alphabet::Italic},       {U'ℬ', 'B', Alphabet::Calligraphic},
    {U'ℰ', 'E', Alphabet::Calligraphic}, {U'ℱ', 'F', Alphabet::Calligraphic},
    {U'ℋ', 'H', Alphabet::Calligraphic}, {U'ℐ', 'I', Alphabet::Calligraphic},
    {U'ℒ', 'L', Alphabet::Calligraphic}, {U'ℳ', 'M', Alphabet::Calligraphic},
    {U'ℛ', 'R', Alphabet::Calligraphic}, {U'ℯ', 'e', Alphabet::Calligraphic},
    {U'ℊ', 'g', Alphabet::Calligraphic}, {U'ℴ', 'o', Alphabet::Calligraphic},
    {U'ℭ', 'C', Alphabet::Fraktur},      {U'ℌ', 'H', Alphabet::Fraktur},
    {U'ℑ', 'I', Alphabet::Fraktur},      {U'ℜ', 'R', Alphabet::Fraktur},
    {U'ℨ', 'Z', Alphabet::Fraktur},      {U'ℂ', 'C', Alphabet::Blackboard},
    {U'ℍ', 'H', Alphabet::Blackboard},   {U'ℕ', 'N', Alphabet::Blackboard},
    {U'ℙ', 'P', Alphabet::Blackboard},   {U'ℚ', 'Q', Alphabet::Blackboard},
    {U'ℝ', 'R', Alphabet::Blackboard},   {U'ℤ', 'Z', Alphabet::Blackboard},
};
// Greek math alphanumerics: blocks of 25 capitals (Α…Ω with ϴ), ∇, 25 small letters, ∂ and
// the six variant forms.
struct GreekBlock {
    char32_t first;
    Alphabet alphabet;
};
const GreekBlock kGreekBlocks[] = {
    {0x1D6A8, Alphabet::Bold},      {0x1D6E2, Alphabet::Italic},    {0x1D71C, Alphabet::BoldItalic},
    {0x1D756, Alphabet::SansSerif}, {0x1D790, Alphabet::SansSerif},
};
const char32_t kGreekOrder[] = {
    U'Α', U'Β', U'Γ', U'Δ', U'Ε', U'Ζ', U'Η', U'Θ', U'Ι', U'Κ', U'Λ', U'Μ', U'Ν', U'Ξ', U'Ο',
    U'Π', U'Ρ', U'ϴ', U'Σ', U'Τ', U'Υ', U'Φ', U'Χ', U'Ψ', U'Ω', U'∇', U'α', U'β', U'γ', U'δ',
    U'ε', U'ζ', U'η', U'θ', U'ι', U'κ', U'λ', U'μ', U'ν', U'ξ', U'ο', U'π', U'ρ', U'ς', U'σ',
    U'τ', U'υ', U'φ', U'χ', U'ψ', U'ω', U'∂', U'ϵ', U'ϑ', U'ϰ', U'ϕ', U'ϱ', U'ϖ',
};
struct DigitBlock {
    char32_t first;
    Alphabet alphabet;
};
const DigitBlock kDigitBlocks[] = {
    {0x1D7CE, Alphabet::Bold},      {0x1D7D8, Alphabet::Blackboard}, {0x1D7E2, Alphabet::SansSerif},
    {0x1D7EC, Alphabet::SansSerif}, {0x1D7F6, Alphabet::Monospace},
};

const char* kOperatorNames[] = {
    "arccos", "arcsin", "arctan", "arg", "cos", "cosh", "cot", "coth", "csc",  "deg", "dim",
    "exp",    "hom",    "ker",    "lg",  "ln",  "log",  "sec", "sin",  "sinh", "tan", "tanh",
};
const char* kOperatorNamesWithLimits[] = {
    "det", "gcd", "inf", "lim", "liminf", "limsup", "max", "min", "Pr", "sup",
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool contains(const std::string& haystack, std::string_view needle) {
    return haystack.find(needle) != std::string::npos;
}

// How a font is used in formulas, from its name.
enum class FontUse { Text, MathItalic, Symbols, Extension, Blackboard, Fraktur, Script, Unicode };

struct FontFacts {
    FontUse use = FontUse::Text;
    Alphabet alphabet = Alphabet::Upright; // of letters in it
};

FontFacts fontFacts(const std::string& fontName, bool italic, bool bold) {
    const std::string name = lower(fontName);
    FontFacts facts;
    const bool boldName = bold || contains(name, "bold") || contains(name, "cmbx") ||
                          contains(name, "cmmib") || contains(name, "cmbsy");
    if (contains(name, "msbm") || contains(name, "bbold") || contains(name, "dsrom") ||
        contains(name, "txsyb") || contains(name, "pxsyb") || contains(name, "bboard") ||
        contains(name, "blackboard")) {
        facts.use = FontUse::Blackboard;
        facts.alphabet = Alphabet::Blackboard;
        return facts;
    }
    if (contains(name, "eufm") || contains(name, "eufb") || contains(name, "fraktur")) {
        facts.use = FontUse::Fraktur;
        facts.alphabet = Alphabet::Fraktur;
        return facts;
    }
    if (contains(name, "rsfs") || contains(name, "eusm") || contains(name, "eusb") ||
        contains(name, "script")) {
        facts.use = FontUse::Script;
        facts.alphabet = Alphabet::Calligraphic;
        return facts;
    }
    // Fonts laid out by Unicode (OpenType math fonts): the code point says it all.
    if (contains(name, "math") && !contains(name, "mathitalic") && !contains(name, "mathsymbols") &&
        !contains(name, "mathextension")) {
        facts.use = FontUse::Unicode;
        facts.alphabet = Alphabet::Upright;
        return facts;
    }
    if (contains(name, "cmex") || contains(name, "mathextension") || contains(name, "exx") ||
        contains(name, "euex") || contains(name, "zplmr7v") || contains(name, "esint") ||
        name.rfind("txex", 0) == 0 || name.rfind("pxex", 0) == 0) {
        facts.use = FontUse::Extension;
        return facts;
    }
    if (contains(name, "cmsy") || contains(name, "cmbsy") || contains(name, "mathsymbols") ||
        contains(name, "ntxsy") || name.rfind("txsy", 0) == 0 || name.rfind("pxsy", 0) == 0 ||
        contains(name, "zplmr7y") || contains(name, "msam") || contains(name, "opensymbol") ||
        contains(name, "symbol")) {
        facts.use = FontUse::Symbols;
        facts.alphabet = Alphabet::Calligraphic;
        return facts;
    }
    if (contains(name, "cmmi") || contains(name, "mathitalic") || contains(name, "ntxmi") ||
        name.rfind("txmi", 0) == 0 || name.rfind("pxmi", 0) == 0 || contains(name, "zplmr7m") ||
        contains(name, "eurm") || contains(name, "eurb") || contains(name, "newtxmi")) {
        facts.use = FontUse::MathItalic;
        facts.alphabet = boldName ? Alphabet::BoldItalic : Alphabet::Italic;
        return facts;
    }
    facts.use = FontUse::Text;
    const bool sans = contains(name, "cmss") || contains(name, "sans") || contains(name, "lmss") ||
                      contains(name, "heros") || contains(name, "helvet");
    const bool mono = contains(name, "cmtt") || contains(name, "mono") || contains(name, "lmtt") ||
                      contains(name, "txtt") || contains(name, "cursor") ||
                      contains(name, "courier");
    const bool italicName = italic || contains(name, "italic") || contains(name, "cmti") ||
                            contains(name, "oblique") || contains(name, "-ital");
    if (mono) {
        facts.alphabet = Alphabet::Monospace;
    } else if (sans) {
        facts.alphabet = Alphabet::SansSerif;
    } else if (boldName) {
        facts.alphabet = italicName ? Alphabet::BoldItalic : Alphabet::Bold;
    } else {
        facts.alphabet = italicName ? Alphabet::Italic : Alphabet::Upright;
    }
    return facts;
}

const std::unordered_map<std::string_view, char32_t>& texGlyphs() {
    static const auto* map = [] {
        auto* m = new std::unordered_map<std::string_view, char32_t>;
        for (const auto& g : kTexGlyphs) {
            m->emplace(g.name, g.code);
        }
        return m;
    }();
    return *map;
}

const std::unordered_map<char32_t, const Entry*>& entries() {
    static const auto* map = [] {
        auto* m = new std::unordered_map<char32_t, const Entry*>;
        for (const auto& e : kEntries) {
            m->emplace(e.code, &e);
        }
        return m;
    }();
    return *map;
}

// The glyph name without the sizes and variants fonts append ("parenleftBigg",
// "summationdisplay", "parenleft.v3", "uni2211.display").
std::string baseGlyphName(std::string name) {
    if (const auto dot = name.find('.'); dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    for (const char* suffix : {"Bigg", "bigg", "Big", "big", "display", "text"}) {
        const std::size_t n = std::strlen(suffix);
        if (name.size() > n && name.compare(name.size() - n, n, suffix) == 0) {
            name.resize(name.size() - n);
            break;
        }
    }
    return name;
}

std::optional<char32_t> codeFromUniName(const std::string& name) {
    if ((name.rfind("uni", 0) == 0 && name.size() >= 7) ||
        (name.size() >= 5 && name[0] == 'u' &&
         std::isxdigit(static_cast<unsigned char>(name[1])))) {
        const std::size_t start = name[1] == 'n' ? 3 : 1;
        std::size_t end = start;
        while (end < name.size() && std::isxdigit(static_cast<unsigned char>(name[end]))) {
            ++end;
        }
        if (end - start >= 4 && end - start <= 6) {
            return char32_t(std::stoul(name.substr(start, end - start), nullptr, 16));
        }
    }
    return std::nullopt;
}

// Letters and digits of the math alphanumeric blocks, as plain ones with their alphabet.
bool unfoldAlphanumeric(char32_t& c, Alphabet& alphabet) {
    if (c >= 0x1D400 && c < 0x1D6A4) {
        for (auto it = std::rbegin(kLetterBlocks); it != std::rend(kLetterBlocks); ++it) {
            if (c >= it->first) {
                const char32_t k = c - it->first;
                if (k >= 52) {
                    return false;
                }
                alphabet = it->alphabet;
                c = k < 26 ? U'A' + k : U'a' + (k - 26);
                return true;
            }
        }
    }
    if (c >= 0x1D6A8 && c < 0x1D7CA) {
        for (auto it = std::rbegin(kGreekBlocks); it != std::rend(kGreekBlocks); ++it) {
            if (c >= it->first) {
                const char32_t k = c - it->first;
                if (k >= std::size(kGreekOrder)) {
                    return false;
                }
                alphabet = it->alphabet;
                c = kGreekOrder[k];
                return true;
            }
        }
    }
    if (c >= 0x1D7CE && c <= 0x1D7FF) {
        for (auto it = std::rbegin(kDigitBlocks); it != std::rend(kDigitBlocks); ++it) {
            if (c >= it->first) {
                alphabet = it->alphabet;
                c = U'0' + (c - it->first) % 10;
                return true;
            }
        }
    }
    for (const auto& lone : kLoneLetters) {
        if (lone.code == c) {
            alphabet = lone.alphabet;
            c = char32_t(lone.letter);
            return true;
        }
    }
    return false;
}

bool isLatin(char32_t c) {
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}
bool isGreek(char32_t c) {
    return (c >= 0x0391 && c <= 0x03A9) || (c >= 0x03B1 && c <= 0x03C9) || c == U'ϑ' || c == U'ϕ' ||
           c == U'ϖ' || c == U'ϱ' || c == U'ϵ' || c == U'ϰ' || c == U'ϴ';
}

} // namespace

Symbol classify(const std::u32string& text, const std::string& glyphName,
                const std::string& fontName, bool fontItalic, bool fontBold) {
    Symbol symbol;
    const FontFacts font = fontFacts(fontName, fontItalic, fontBold);

    // The code point: the file's Unicode when it has a usable one, else the glyph's name
    // (TeX's math fonts carry no Unicode map for much of what they hold), else a
    // "uniXXXX" name.
    char32_t code = 0;
    const bool usableText = !text.empty() && text[0] >= 0x20 && text[0] != 0xFFFD &&
                            !(text[0] >= 0xE000 && text[0] < 0xF900);
    if (usableText) {
        code = text[0];
    } else {
        const auto& names = texGlyphs();
        std::string trimmed = glyphName;
        while (trimmed.size() > 2 && std::isupper(static_cast<unsigned char>(trimmed.back())) &&
               std::islower(static_cast<unsigned char>(trimmed[trimmed.size() - 2]))) {
            trimmed.pop_back(); // "parenlefttpA": a font's second set of the same pieces
        }
        for (const std::string& name : {glyphName, trimmed, baseGlyphName(glyphName)}) {
            if (auto it = names.find(name); it != names.end()) {
                code = it->second;
                break;
            }
        }
    }
    if (code == 0) {
        if (auto uni = codeFromUniName(glyphName)) {
            code = *uni;
        } else if (auto uniBase = codeFromUniName(baseGlyphName(glyphName))) {
            code = *uniBase;
        }
    }
    symbol.extension = font.use == FontUse::Extension;
    symbol.opentype = font.use == FontUse::Unicode;
    {
        const std::string lowered = lower(fontName);
        symbol.exactMetrics = font.use == FontUse::Unicode || lowered.rfind("cm", 0) == 0 ||
                              lowered.rfind("lm", 0) == 0 || contains(lowered, "msam") ||
                              contains(lowered, "msbm") || contains(lowered, "eufm") ||
                              contains(lowered, "rsfs") || contains(lowered, "latinmodern");
        symbol.texMath = font.use != FontUse::Text && !contains(lowered, "opensymbol") &&
                         lowered != "symbol" && !contains(lowered, "symbolmt");
    }
    // The extension font's big operators: its small ones are the symbol font's.
    if (symbol.extension) {
        static const std::pair<char32_t, char32_t> bigger[] = {
            {U'∪', U'⋃'}, {U'∩', U'⋂'}, {U'∧', U'⋀'}, {U'∨', U'⋁'}, {U'⊕', U'⨁'},
            {U'⊗', U'⨂'}, {U'⊙', U'⨀'}, {U'⊎', U'⨄'}, {U'⊔', U'⨆'}};
        for (const auto& [small, big] : bigger) {
            if (code == small) {
                code = big;
            }
        }
    }
    // Sized wide accents of extension fonts ("hat4", "tilde2").
    if ((glyphName.rfind("hat", 0) == 0 || glyphName.rfind("tilde", 0) == 0) &&
        glyphName.size() > 3 && std::isdigit(static_cast<unsigned char>(glyphName.back()))) {
        symbol.role = Role::WideAccent;
        symbol.latex = glyphName[0] == 'h' ? "\\widehat" : "\\widetilde";
        symbol.text.assign(1, glyphName[0] == 'h' ? char32_t(0x0302) : char32_t(0x0303));
        symbol.extension = true;
        return symbol;
    }
    // TeX's horizontal braces: tips of the extension font joined by rules.
    // (Their extensions, "bracehext", take the side of the tips beside them.)
    if (glyphName.rfind("braceh", 0) == 0) {
        symbol.role = Role::Piece;
        symbol.piece = glyphName.find("down") != std::string::npos ? Piece::BraceDown
                       : glyphName.find("up") != std::string::npos ? Piece::BraceUp
                                                                   : Piece::BraceExtension;
        symbol.latex = "\\overbrace";
        symbol.extension = true;
        return symbol;
    }
    if (code == 0 || code == 0xFFFD) {
        return symbol; // nothing says what it is
    }
    // OpenType math fonts name their built-up pieces ("parenleft.top", "braceleft.mid").
    if (const auto dot = glyphName.find('.'); dot != std::string::npos) {
        const std::string suffix = lower(glyphName.substr(dot + 1));
        auto piece = Piece::None;
        if (suffix.rfind("top", 0) == 0 || suffix == "t") {
            piece = Piece::Top;
        } else if (suffix.rfind("bot", 0) == 0 || suffix == "b") {
            piece = Piece::Bottom;
        } else if (suffix.rfind("mid", 0) == 0 || suffix == "m") {
            piece = Piece::Middle;
        } else if (suffix.rfind("ex", 0) == 0 || suffix == "rep" || suffix == "e") {
            piece = Piece::Extension;
        }
        if (piece != Piece::None) {
            symbol.piece = piece;
            symbol.role = Role::Piece;
        }
    }

    // OpenType fonts draw a long brace from several glyphs of the brace's own code.
    if (code == U'⏞' || code == U'⏟' || code == U'⎴' || code == U'⎵') {
        symbol.role = Role::Piece;
        symbol.piece = code == U'⏞' || code == U'⎴' ? Piece::BraceDown : Piece::BraceUp;
        symbol.latex = "\\overbrace";
        symbol.text.assign(1, code);
        return symbol;
    }
    symbol.alphabet = font.alphabet;
    Alphabet unfolded = Alphabet::Italic;
    if (unfoldAlphanumeric(code, unfolded)) {
        symbol.alphabet = unfolded;
    } else if (font.use == FontUse::Unicode) {
        // Plain letters of an OpenType math font are upright (\mathrm); Greek capitals
        // are upright by TeX's convention, small Greek italic.
        symbol.alphabet = Alphabet::Upright;
        if (isGreek(code)) {
            symbol.alphabet = Alphabet::Italic;
        }
    } else if (font.use == FontUse::Symbols && !isLatin(code)) {
        symbol.alphabet = Alphabet::Italic;
    }
    if (isGreek(code) && symbol.alphabet == Alphabet::Upright) {
        symbol.alphabet = Alphabet::Italic; // \Gamma is upright already
    }
    symbol.text.assign(1, code);
    symbol.textFont = font.use == FontUse::Text;

    for (const auto& p : kPieces) {
        if (p.code == code) {
            symbol.role = Role::Piece;
            symbol.piece = p.piece;
            code = p.makes;
            break;
        }
    }
    if (isLatin(code) || isGreek(code)) {
        symbol.letter = true;
    }
    if (code >= U'0' && code <= U'9') {
        symbol.digit = true;
        symbol.latex.assign(1, char(code));
        if (symbol.alphabet == Alphabet::Upright || symbol.alphabet == Alphabet::Italic) {
            symbol.alphabet = Alphabet::Upright;
        }
        return symbol;
    }
    for (const auto& f : kFences) {
        if (f.code == code) {
            symbol.latex = f.latex;
            symbol.opens = f.opens;
            symbol.closes = f.closes;
            symbol.atom = f.opens && f.closes ? Atom::Ord : f.opens ? Atom::Open : Atom::Close;
            if (symbol.role != Role::Piece) {
                symbol.role = Role::Delimiter;
            }
            return symbol;
        }
    }
    if (symbol.role == Role::Piece) {
        if (code == U'√') {
            symbol.latex = "\\surd";
        } else if (code == U'∫') {
            symbol.latex = "\\int";
        }
        return symbol; // the extension of a brace: which one, its neighbours tell
    }
    if (isLatin(code)) {
        symbol.latex.assign(1, char(code));
        return symbol;
    }
    if (auto it = entries().find(code); it != entries().end()) {
        symbol.latex = it->second->latex;
        symbol.atom = it->second->atom;
        if (symbol.role == Role::Symbol) {
            symbol.role = it->second->role;
        }
        // TeX's wide accents are their own glyphs in the extension font.
        if (symbol.role == Role::Accent && font.use == FontUse::Extension) {
            symbol.role = Role::WideAccent;
            symbol.latex = code == 0x0302 ? "\\widehat" : "\\widetilde";
        }
        return symbol;
    }
    // Anything else: the character itself, which LaTeX with Unicode input may still set.
    appendCodePoint(symbol.latex, code);
    return symbol;
}

const char* alphabetCommand(Alphabet alphabet) {
    switch (alphabet) {
    case Alphabet::Italic:
        return "";
    case Alphabet::Upright:
        return "\\mathrm";
    case Alphabet::Bold:
        return "\\mathbf";
    case Alphabet::BoldItalic:
        return "\\boldsymbol";
    case Alphabet::Blackboard:
        return "\\mathbb";
    case Alphabet::Calligraphic:
        return "\\mathcal";
    case Alphabet::Fraktur:
        return "\\mathfrak";
    case Alphabet::SansSerif:
        return "\\mathsf";
    case Alphabet::Monospace:
        return "\\mathtt";
    }
    return "";
}

const char* mathVariant(Alphabet alphabet, bool singleLetter) {
    switch (alphabet) {
    case Alphabet::Italic:
        return singleLetter ? "" : "italic";
    case Alphabet::Upright:
        return singleLetter ? "normal" : "";
    case Alphabet::Bold:
        return "bold";
    case Alphabet::BoldItalic:
        return "bold-italic";
    case Alphabet::Blackboard:
        return "double-struck";
    case Alphabet::Calligraphic:
        return "script";
    case Alphabet::Fraktur:
        return "fraktur";
    case Alphabet::SansSerif:
        return "sans-serif";
    case Alphabet::Monospace:
        return "monospace";
    }
    return "";
}

bool isOperatorName(const std::string& word, bool* limits) {
    for (const char* name : kOperatorNamesWithLimits) {
        if (word == name) {
            if (limits) {
                *limits = true;
            }
            return true;
        }
    }
    for (const char* name : kOperatorNames) {
        if (word == name) {
            if (limits) {
                *limits = false;
            }
            return true;
        }
    }
    return false;
}

} // namespace ombrix::formula
