#!/usr/bin/env python3
"""Writes the table corpus: for each table its source (LaTeX, HTML, groff, CSV), the PDF a
real typesetter makes from it, and NAME.expected.tsv, the cells the source holds.

    python3 make_corpus.py [NAME...]      # needs pdflatex, xelatex, lualatex, groff,
                                          # soffice, chromium, pdftoppm, mutool

Truth format: one table row a line, cells parted by tabs. A line of one cell is a row that
spans the whole table (a title, a section heading). A cell written "@K:text" spans K
columns. An empty field is an empty cell.
"""

import html
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- Tables: rows of cells; a cell is a string or (text, span); a row of one string spans all.

HARVEST = [["Harvest Yields"], ["Crop", "Acres", "Tonnes", "Price"],
           ["Wheat", "120", "45.5", "212.40"], ["Barley", "85", "30.25", "187.10"],
           ["Oats", "40", "12.8", "150.75"], ["Maize", "210", "98.6", "175.30"],
           ["Rye", "15", "4.1", "160.05"]]

ORDER = [["Item code", "Description", "Unit price", "Qty", "Line total"],
         ["A-100", "Steel bolt M8", "0.35", "200", "70.00"],
         ["B-220", "Brass washer", "0.08", "500", "40.00"],
         ["C-310", "Hex nut", "0.12", "350", "42.00"],
         ["D-405", "Spring clip large", "1.95", "12", "23.40"]]

SURVEY = [["Site", "Mon", "Tue", "Wed", "Thu"],
          ["North ridge", "4", "", "7", "2"],
          ["River bank", "", "3", "", "5"],
          ["Old mill", "6", "1", "", ""],
          ["East field", "2", "", "4", "9"]]

GROUPED = [["Model", ("Training", 2), ("Test", 2)],
           ["", "Loss", "Acc", "Loss", "Acc"],
           ["Baseline", "0.412", "81.2", "0.455", "79.8"],
           ["Wide net", "0.305", "86.9", "0.371", "84.1"],
           ["Deep net", "0.288", "88.4", "0.362", "85.0"]]

PARAMS = [["Name", "Default", "Meaning"],
          ["Parameters"],
          ["alpha", "0.5", "learning rate"],
          ["beta", "0.9", "momentum"],
          ["Outputs"],
          ["loss", "none", "training loss"],
          ["score", "none", "held out score"]]

WRAPPED = [["Option", "Kind", "What it does"],
           ["verbose", "flag", "Prints every step of the run to the terminal as it happens"],
           ["depth", "integer", "How many levels of nested folders the search descends into"],
           ["output", "path", "Where the report goes"],
           ["colour", "choice", "Whether lines are coloured: always, never, or only on a terminal"]]

SYMBOLS = [["Rule", "Left", "Right", "Factor"],
           ["Scale", "2 × 3", "6", "1·2"],
           ["Implies", "p ⇒ q", "¬p ∨ q", "0·5"],
           ["Angle", "α", "45°", "−1·5"],
           ["Shift", "x − 4", "−4", "2·25"]]

CALC_DECIMAL = [["Sample", "Mass", "Error"],
                ["A", "1.5", "0.02"], ["B", "12.25", "0.115"], ["C", "103.4", "1.4"],
                ["D", "7.125", "0.05"], ["E", "0.75", "0.003"]]

DECIMAL = [["Sample", "Mass", "Error"],
           ["A", "1.5", "0.02"], ["B", "12.25", "0.115"], ["C", "103.0", "1.4"],
           ["D", "7.125", "0.05"], ["E", "0.75", "0.003"]]

COMMA = [["Land", "Fläche", "Anteil"],
         ["Bayern", "70,55", "19,7"], ["Hessen", "21,12", "5,9"], ["Bremen", "0,42", "0,1"],
         ["Berlin", "0,89", "0,2"], ["Sachsen", "18,45", "5,2"]]

COLOURED = [["Team", "Won", "Lost", "Points"],
            ["Rovers", "12", "3", "38"], ["United", "10", "5", "33"],
            ["Athletic", "9", "6", "29"], ["Wanderers", "7", "8", "24"],
            ["City", "5", "10", "18"], ["Town", "2", "13", "9"]]

RIGHT = [["Account", "Q1", "Q2", "Q3", "Q4"],
         ["Sales", "12,400", "15,950", "9,870", "21,300"],
         ["Costs", "8,100", "9,020", "7,450", "11,760"],
         ["Margin", "4,300", "6,930", "2,420", "9,540"],
         ["Staff", "31", "33", "29", "35"]]

LONG = [["Year", "Event", "Place"]] + [[str(1990 + i), e, p] for i, (e, p) in enumerate([
    ("Opening", "Leeds"), ("Extension", "York"), ("Merger", "Hull"), ("Flood", "Selby"),
    ("Rebuild", "Ripon"), ("Award", "Otley"), ("Strike", "Goole"), ("Sale", "Thirsk"),
    ("Closure", "Malton"), ("Reopening", "Whitby"), ("Centenary", "Pickering"),
    ("Expansion", "Skipton")])]

MIXED = [["Ward", "Beds", "Occupied", "Rate"],
         ["Cardiology", "24", "22", "91.7%"], ["Maternity", "30", "19", "63.3%"],
         ["Oncology", "18", "18", "100.0%"], ["Paediatrics", "20", "11", "55.0%"]]

STATIONS = [["Station Readings"], ["Station", "Rain", "Wind", "Temp"],
            ["Aberdeen", "3.2", "14.5", "8.1"], ["Bristol", "0.8", "9.75", "12.4"],
            ["Cardiff", "5.6", "11.2", "11.9"], ["Dundee", "2.4", "16.0", "7.3"]]

MULTIROW = [["Region", "City", "People"],
            [("North", 1), "Leeds", "812,000"], ["", "York", "210,000"], ["", "Hull", "267,000"],
            [("South", 1), "Bath", "101,000"], ["", "Poole", "151,000"], ["", "Bournemouth", "187,000"]]

PLAIN = [["Language", "Paradigm", "Typing", "Year"],
         ["Haskell", "functional", "static", "1990"], ["Python", "multi", "dynamic", "1991"],
         ["Rust", "multi", "static", "2015"], ["Erlang", "functional", "dynamic", "1986"],
         ["Smalltalk", "object", "dynamic", "1972"]]

BOOKS = [["Title", "Author", "Pages"],
         ["The Long Road", "M. Harris", "312"], ["Winter Light", "J. O'Neill", "248"],
         ["A Quiet Sea", "P. Ng", "196"], ["Salt and Stone", "R. de Vries", "410"]]

PLANETS = [["Planet", "Moons", "Radius km", "Day h"],
           ["Mercury", "0", "2,440", "4,222.6"], ["Venus", "0", "6,052", "2,802.0"],
           ["Earth", "1", "6,371", "24.0"], ["Mars", "2", "3,390", "24.7"],
           ["Jupiter", "95", "69,911", "9.9"]]

TIMETABLE = [["Route", "Depart", "Arrive", "Days"],
             ["Oslo – Bergen", "07:25", "14:02", "daily"],
             ["Bergen – Flåm", "08:40", "13:55", "Mon to Fri"],
             ["Myrdal – Flåm", "10:15", "11:15", ""],
             ["Oslo – Trondheim", "06:55", "13:40", "Sat, Sun"]]


SETTINGS = [["Name of the setting", "Value"],
            ["Maximum number of open files per process", "1024"], ["Timeout", "30"],
            ["Directory used for temporary files", "/tmp"],
            ["Largest request body the server accepts", "8 MB"]]


def cells(row):
    return [c if isinstance(c, tuple) else (c, 1) for c in row]


def columns(table):
    return max(sum(s for _, s in cells(r)) for r in table if len(r) > 1)


def truth(table):
    lines = []
    for row in table:
        if len(row) == 1:
            lines.append(row[0])
            continue
        lines.append("\t".join(t if s == 1 else "@%d:%s" % (s, t) for t, s in cells(row)))
    return "\n".join(lines) + "\n"


# ---- LaTeX ----

PDFTEX_SYMBOLS = {"×": r"{$\times$}", "⇒": r"{$\Rightarrow$}", "α": r"{$\alpha$}",
                  "−": r"{$-$}", "·": r"{$\cdot$}", "¬": r"{$\neg$}", "∨": r"{$\vee$}",
                  "°": r"\textdegree{}"}


def tex_escape(text, unicode_engine):
    out = ""
    for ch in text:
        if ch in "&%$#_{}":
            out += "\\" + ch
        elif ch == "–":
            out += "--"
        elif not unicode_engine and ch in PDFTEX_SYMBOLS:
            out += PDFTEX_SYMBOLS[ch]
        else:
            out += ch
    return out


def latex(table, spec, engine="pdflatex", rules="booktabs", bold_header=True, env="tabular",
          preamble="", row_prefix=None, font=None, standalone=True, landscape=False, width=None):
    uni = engine != "pdflatex"
    n = columns(table)
    head = []
    if standalone and env == "tabular" and not landscape:
        head.append(r"\documentclass[border=8pt,varwidth=false]{standalone}")
    else:
        head.append(r"\documentclass[11pt]{article}")
        head.append(r"\usepackage[paperwidth=6.5in,paperheight=%s,margin=0.4in]{geometry}"
                    % ("9in" if env == "longtable" else "4in"))
        head.append(r"\pagestyle{empty}")
    if uni:
        head.append(r"\usepackage{fontspec}")
        head.append(r"\setmainfont{%s}" % (font or "DejaVu Serif"))
    else:
        head.append(r"\usepackage[T1]{fontenc}\usepackage{lmodern}\usepackage[utf8]{inputenc}")
    head.append(r"\usepackage{booktabs,array,multirow,tabularx,longtable,colortbl,dcolumn}")
    head.append(r"\usepackage[table]{xcolor}")
    if landscape:
        head.append(r"\usepackage{pdflscape}")
    head.append(preamble)
    body = []
    hline = {"booktabs": (r"\toprule", r"\midrule", "", r"\bottomrule"),
             "full": (r"\hline", r"\hline", r"\hline", r"\hline"),
             "hline": (r"\hline", r"\hline", "", r"\hline"),
             "none": ("", "", "", "")}[rules]
    if env == "tabularx":
        body.append(r"\begin{tabularx}{%s}{%s}" % (width or r"0.9\textwidth", spec))
    else:
        body.append(r"\begin{%s}{%s}" % (env, spec))
    first_body = next(i for i, r in enumerate(table) if len(r) > 1) + 1
    for i, row in enumerate(table):
        if i == first_body - 1:
            body.append(hline[0])
        if len(row) == 1:
            text = tex_escape(row[0], uni)
            if i < first_body:
                body.append(r"\multicolumn{%d}{c}{\textbf{%s}} \\" % (n, text))
            else:
                body.append(r"\multicolumn{%d}{l}{\textit{%s}} \\" % (n, text))
            continue
        out = []
        for j, (t, s) in enumerate(cells(row)):
            text = tex_escape(t, uni)
            if i == first_body - 1 and bold_header and text:
                text = r"\textbf{%s}" % text
            if s > 1:
                text = r"\multicolumn{%d}{c}{%s}" % (s, text)
            elif isinstance(row[j], tuple):
                text = r"\multirow[t]{3}{*}{%s}" % text
            elif i < first_body and j > 0 and "D{" in spec:
                text = r"\multicolumn{1}{c}{%s}" % text  # dcolumn: headers are not numbers
            elif i < first_body and j > 0 and "S[" in spec:
                text = "{%s}" % text  # siunitx likewise
            out.append(text)
        line = " & ".join(out) + r" \\"
        if row_prefix and i >= first_body:
            line = row_prefix(i - first_body) + line
        body.append(line)
        if i == first_body - 1:
            if env == "longtable":
                body.append(hline[1] + r" \endhead")
            else:
                body.append(hline[1])
        elif i < len(table) - 1 and hline[2]:
            body.append(hline[2])
    body.append(hline[3])
    body.append(r"\end{%s}" % env)
    doc = "\n".join(head) + "\n\\begin{document}\n"
    if landscape:
        doc += "\\begin{landscape}\n\\centering\n"
    doc += "\n".join(body) + "\n"
    if landscape:
        doc += "\\end{landscape}\n"
    return doc + "\\end{document}\n"


# ---- HTML (LibreOffice Writer and Chromium) ----

def html_table(table, css="", border="1", cellpadding="4", header_tag="th", row_style=None,
               table_attrs=""):
    n = columns(table)
    out = ["<!DOCTYPE html>", "<html><head><meta charset=\"utf-8\"><style>",
           "body { font-family: 'DejaVu Sans', sans-serif; font-size: 11pt; }", css,
           "</style></head><body>",
           "<table border=\"%s\" cellpadding=\"%s\" cellspacing=\"0\"%s>"
           % (border, cellpadding, table_attrs)]
    first_body = next(i for i, r in enumerate(table) if len(r) > 1) + 1
    for i, row in enumerate(table):
        style = row_style(i - first_body) if row_style and i >= first_body else ""
        out.append("<tr%s>" % (" style=\"%s\"" % style if style else ""))
        if len(row) == 1:
            out.append("<%s colspan=\"%d\">%s</%s>" % (header_tag, n, html.escape(row[0]),
                                                       header_tag))
        else:
            tag = header_tag if i == first_body - 1 else "td"
            for t, s in cells(row):
                span = " colspan=\"%d\"" % s if s > 1 else ""
                out.append("<%s%s>%s</%s>" % (tag, span, html.escape(t), tag))
        out.append("</tr>")
    out.append("</table></body></html>")
    return "\n".join(out) + "\n"


# ---- groff tbl ----

def groff(table, fmt, options="", allbox=False, title=None):
    n = columns(table)
    lines = [".nr PO 0.5i", ".nr LL 6i", ".TS", "%s;" % (options or "tab(@)")]
    first_body = next(i for i, r in enumerate(table) if len(r) > 1) + 1
    formats = []
    for i, row in enumerate(table):
        if len(row) == 1:
            formats.append("c" + " s" * (n - 1))
        elif i == first_body - 1:
            f = []
            for t, s in cells(row):
                f.append("cB" + " s" * (s - 1))
            formats.append(" ".join(f))
        else:
            formats.append(fmt)
    formats[-1] += "."
    lines += formats
    for i, row in enumerate(table):
        if len(row) == 1:
            lines.append(row[0])
        else:
            lines.append("@".join(t if t else "" for t, s in cells(row)))
            if i == first_body - 1 and not allbox:
                lines.append("_")
    lines.append(".TE")
    return "\n".join(lines) + "\n"


# ---- Texinfo ----

def texinfo(table, fractions=None):
    n = columns(table)
    head = "@columnfractions " + " ".join(fractions) if fractions else " ".join(
        "{%s}" % max((cells(r)[c][0] for r in table if len(r) > 1), key=len) for c in range(n))
    lines = ["\\input texinfo", "@setfilename t.info", "@settitle Tables", "@node Top",
             "@top Tables", "", "@node Tables", "@chapter Tables", "",
             "@multitable " + head]
    first_body = next(i for i, r in enumerate(table) if len(r) > 1) + 1
    for i, row in enumerate(table):
        texts = [t.replace("@", "@@").replace("{", "@{").replace("}", "@}") for t, s in cells(row)]
        lines.append(("@headitem " if i == first_body - 1 else "@item ") + " @tab ".join(texts))
    lines += ["@end multitable", "@bye"]
    return "\n".join(lines) + "\n"


# ---- The corpus ----

# Header cells broken over two lines, the one-line cells centred between them.
MAKECELL = r"""\documentclass[border=8pt,varwidth=false]{standalone}
\usepackage[T1]{fontenc}\usepackage{lmodern}\usepackage{booktabs,makecell}
\begin{document}
\begin{tabular}{llrr}
\toprule
\textbf{Item} & \textbf{Kind} & \makecell[r]{\textbf{Unit}\\\textbf{price}} &
  \makecell[r]{\textbf{Line}\\\textbf{total}} \\
\midrule
A-100 & Steel bolt & 0.35 & 70.00 \\
B-220 & Brass washer & 0.08 & 40.00 \\
C-310 & Hex nut & 0.12 & 42.00 \\
\bottomrule
\end{tabular}
\end{document}
"""


def zebra(i):
    return r"\rowcolor{gray!20}" if i % 2 == 0 else ""


def zebra_css(i):
    return "background: #dde7f5" if i % 2 == 0 else ""


RAGGED = r">{\raggedright\arraybackslash}"

CORPUS = [
    # pdflatex
    ("tex-booktabs-title", "pdflatex", HARVEST, dict(spec="lrrr")),
    ("tex-multiword", "pdflatex", ORDER, dict(spec="llrrr")),
    ("tex-empty-cells", "pdflatex", SURVEY, dict(spec="lcccc", rules="hline")),
    ("tex-multicolumn", "pdflatex", GROUPED, dict(spec="lrrrr")),
    ("tex-sections", "pdflatex", PARAMS, dict(spec="lll")),
    ("tex-wrapped-ruled", "pdflatex", WRAPPED,
     dict(spec="|l|l|" + RAGGED + "p{5cm}|", rules="full")),
    ("tex-tabularx", "pdflatex", WRAPPED,
     dict(spec="ll>{\\raggedright\\arraybackslash}X", env="tabularx", rules="full",
          width="11cm")),
    ("tex-symbols", "pdflatex", SYMBOLS, dict(spec="llll")),
    ("tex-dcolumn", "pdflatex", DECIMAL, dict(spec="lD{.}{.}{3.3}D{.}{.}{1.3}")),
    ("tex-siunitx-comma", "pdflatex", COMMA,
     dict(spec="lS[table-format=2.2]S[table-format=2.1]",
          preamble=r"\usepackage[output-decimal-marker={,}]{siunitx}")),
    ("tex-colortbl", "pdflatex", COLOURED, dict(spec="lrrr", row_prefix=zebra)),
    ("tex-right-aligned", "pdflatex", RIGHT, dict(spec="lrrrr", rules="hline")),
    ("tex-longtable", "pdflatex", LONG, dict(spec="lll", env="longtable")),
    ("tex-fully-ruled", "pdflatex", STATIONS, dict(spec="|l|r|r|r|", rules="full")),
    ("tex-ruleless", "pdflatex", PLAIN, dict(spec="llll", rules="none", bold_header=False)),
    ("tex-multirow", "pdflatex", MULTIROW, dict(spec="llr", rules="hline")),
    ("tex-landscape", "pdflatex", MIXED, dict(spec="lrrr", landscape=True)),
    ("tex-percent", "pdflatex", MIXED, dict(spec="lrrr", rules="hline")),
    ("tex-two-line-header", "pdflatex", [["Item", "Kind", "Unit price", "Line total"],
                                         ["A-100", "Steel bolt", "0.35", "70.00"],
                                         ["B-220", "Brass washer", "0.08", "40.00"],
                                         ["C-310", "Hex nut", "0.12", "42.00"]],
     dict(source=MAKECELL)),
    ("tex-tabularx-booktabs", "pdflatex", WRAPPED,
     dict(spec="ll>{\\raggedright\\arraybackslash}X", env="tabularx", width="10cm",
          bold_header=False)),
    ("tex-wrapped-first", "pdflatex", SETTINGS, dict(spec=RAGGED + "p{3cm}l")),
    # xelatex and lualatex
    ("xe-symbols", "xelatex", SYMBOLS, dict(spec="llll")),
    ("xe-comma", "xelatex", COMMA, dict(spec="lrr", rules="hline")),
    ("xe-multiword-sans", "xelatex", ORDER, dict(spec="llrrr", font="DejaVu Sans")),
    ("xe-timetable", "xelatex", TIMETABLE, dict(spec="lccl", rules="full")),
    ("lua-booktabs", "lualatex", HARVEST, dict(spec="lrrr")),
    ("lua-empty-cells", "lualatex", SURVEY, dict(spec="|l|c|c|c|c|", rules="full")),
    ("lua-colortbl", "lualatex", COLOURED, dict(spec="lrrr", row_prefix=zebra, rules="none")),
    ("lua-wrapped", "lualatex", WRAPPED,
     dict(spec="ll" + RAGGED + "p{5.5cm}", rules="full", font="DejaVu Sans")),
    # LibreOffice Writer
    ("writer-multiword", "writer", ORDER, {}),
    ("writer-empty-cells", "writer", SURVEY, {}),
    ("writer-symbols", "writer", SYMBOLS, {}),
    ("writer-wrapped", "writer", WRAPPED, dict(table_attrs=" width=\"420\"")),
    ("writer-sections", "writer", PARAMS, {}),
    # LibreOffice Calc
    ("calc-plain", "calc", PLAIN, {}),
    ("calc-books", "calc", BOOKS, {}),
    ("calc-decimal", "calc", CALC_DECIMAL, {}),
    # groff tbl
    ("groff-box", "groff", HARVEST, dict(fmt="l n n n", options="allbox tab(@)", allbox=True)),
    ("groff-plain", "groff", PLAIN, dict(fmt="l l l n")),
    ("groff-multiword", "groff", ORDER, dict(fmt="l l n n n", options="box tab(@)")),
    ("groff-empty-cells", "groff", SURVEY, dict(fmt="l c c c c", options="center tab(@)")),
    ("groff-numbers", "groff", PLANETS, dict(fmt="l n n n", options="doublebox tab(@)")),
    # Chromium
    ("chrome-multiword", "chromium", ORDER, dict(css="td, th { padding: 4px 10px; }")),
    ("chrome-zebra", "chromium", COLOURED,
     dict(css="table { border-collapse: collapse; } td, th { padding: 5px 12px; }",
          border="0", row_style=zebra_css)),
    ("chrome-grouped", "chromium", GROUPED,
     dict(css="table { border-collapse: collapse; } td, th { padding: 4px 12px; "
              "border: 1px solid #444; } td { text-align: right; }")),
    ("chrome-wrapped", "chromium", WRAPPED,
     dict(css="table { border-collapse: collapse; width: 14cm; } td, th { padding: 6px; "
              "border-bottom: 1px solid #999; vertical-align: top; text-align: left; }",
          border="0")),
    ("chrome-symbols", "chromium", SYMBOLS,
     dict(css="table { border-collapse: collapse; } td, th { padding: 4px 14px; }", border="0")),
    ("chrome-timetable", "chromium", TIMETABLE,
     dict(css="td, th { padding: 3px 9px; }")),
    # Texinfo
    ("texi-wrapped", "texinfo", WRAPPED + [["quiet", "flag", "Prints nothing at all, not even "
                                            "the errors that stop the run before it ends"]],
     dict(fractions=[".2", ".15", ".65"])),
    ("texi-empty-cells", "texinfo", SURVEY, {}),
    ("texi-multiword", "texinfo", ORDER, {}),
    # A scan: pdflatex's table drawn to pixels and wrapped in a PDF with no text.
    ("scan-booktabs", "scan", ORDER, dict(spec="llrrr")),
]


def run(cmd, cwd, env=None):
    e = dict(os.environ)
    e.update(env or {})
    r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=e)
    if r.returncode != 0:
        sys.stderr.write(r.stdout.decode(errors="replace")[-3000:])
        raise SystemExit("failed: %s" % " ".join(cmd))


def image_pdf(pbm, pdf, dpi):
    """A one-page PDF holding nothing but a 1-bit scan (a P4 bitmap) at `dpi`."""
    import zlib
    data = open(pbm, "rb").read()
    fields, at = [], 0
    while len(fields) < 3:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, height = int(fields[1]), int(fields[2])
    bits = zlib.compress(data[at + 1:], 9)
    w, h = width * 72.0 / dpi, height * 72.0 / dpi
    content = b"q %.2f 0 0 %.2f 0 0 cm /Im0 Do Q" % (w, h)
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] /Resources << /XObject "
        b"<< /Im0 4 0 R >> >> /Contents 5 0 R >>" % (w, h),
        b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
        b"/BitsPerComponent 1 /Decode [1 0] /Filter /FlateDecode /Length %d >>\nstream\n"
        % (width, height, len(bits)) + bits + b"\nendstream",
        b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
    ]
    out = b"%PDF-1.4\n"
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for o in offsets:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, xref)
    open(pdf, "wb").write(out)


def write_rect(work, name, skip_first_line=False):
    """NAME.rect: the table's region (page space, x,y,w,h) leaving out Calc's page header
    and footer, or Texinfo's chapter heading, as a reader would mark it."""
    import re
    run(["pdftotext", "-bbox", name + ".pdf", "words.html"], work)
    text = open(os.path.join(work, "words.html")).read()
    height = float(re.search(r'<page width="[0-9.]+" height="([0-9.]+)"', text).group(1))
    boxes = [tuple(map(float, m)) for m in re.findall(
        r'<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)"', text)]
    boxes = [b for b in boxes if 0.1 * height < b[1] and b[3] < 0.9 * height]
    if skip_first_line:
        first = min(b[3] for b in boxes)
        boxes = [b for b in boxes if b[1] > first]
    x0 = min(b[0] for b in boxes) - 8
    x1 = max(b[2] for b in boxes) + 8
    top = min(b[1] for b in boxes) - 8
    bottom = max(b[3] for b in boxes) + 8
    with open(os.path.join(HERE, name + ".rect"), "w") as f:
        f.write("%.1f,%.1f,%.1f,%.1f\n" % (x0, height - bottom, x1 - x0, bottom - top))


def make(name, producer, table, opts):
    work = tempfile.mkdtemp()
    try:
        if producer in ("pdflatex", "xelatex", "lualatex", "scan"):
            engine = "pdflatex" if producer == "scan" else producer
            src = opts["source"] if "source" in opts else latex(table, engine=engine, **opts)
            ext = ".tex"
            with open(os.path.join(work, name + ext), "w") as f:
                f.write(src)
            # Twice: longtable settles its column widths on the second run.
            for _ in range(2):
                run([engine, "-interaction=nonstopmode", name + ext], work)
            if producer == "scan":
                run(["pdftoppm", "-r", "200", "-mono", "-singlefile", name + ".pdf", "scan"],
                    work)
                image_pdf(os.path.join(work, "scan.pbm"), os.path.join(work, name + ".pdf"), 200)
        elif producer in ("writer", "chromium"):
            src = html_table(table, **opts)
            ext = ".html"
            with open(os.path.join(work, name + ext), "w") as f:
                f.write(src)
            if producer == "writer":
                run(["soffice", "--headless", "--convert-to", "pdf:writer_web_pdf_Export",
                     name + ext], work, {"HOME": work})
            else:
                run(["chromium", "--headless", "--no-sandbox", "--disable-gpu",
                     "--no-pdf-header-footer", "--print-to-pdf=" + name + ".pdf", name + ext],
                    work, {"HOME": work})
        elif producer == "calc":
            import csv
            import io
            buf = io.StringIO()
            csv.writer(buf).writerows([[t for t, s in cells(r)] for r in table])
            src = buf.getvalue()
            ext = ".csv"
            with open(os.path.join(work, name + ext), "w") as f:
                f.write(src)
            run(["soffice", "--headless", "--infilter=CSV:44,34,76,1,,1033,true", "--convert-to",
                 "pdf", name + ext], work, {"HOME": work})
            write_rect(work, name)
        elif producer == "texinfo":
            src = texinfo(table, **opts)
            ext = ".texi"
            with open(os.path.join(work, name + ext), "w") as f:
                f.write(src)
            run(["texi2pdf", "--batch", name + ext], work)
            write_rect(work, name, skip_first_line=True)
        elif producer == "groff":
            src = groff(table, **opts)
            ext = ".tbl"
            with open(os.path.join(work, name + ext), "w") as f:
                f.write(src)
            with open(os.path.join(work, name + ".pdf"), "wb") as out:
                r = subprocess.run(["groff", "-t", "-ms", "-Tpdf", name + ext],
                                   cwd=work, stdout=out)
                if r.returncode != 0:
                    raise SystemExit("groff failed for " + name)
        shutil.copy(os.path.join(work, name + ".pdf"), os.path.join(HERE, name + ".pdf"))
        with open(os.path.join(HERE, name + ext), "w") as f:
            f.write(src)
        with open(os.path.join(HERE, name + ".expected.tsv"), "w") as f:
            f.write(truth(table))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    wanted = set(sys.argv[1:])
    for name, producer, table, opts in CORPUS:
        if not wanted or name in wanted:
            print(name, flush=True)
            make(name, producer, table, opts)


if __name__ == "__main__":
    main()
