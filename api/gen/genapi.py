#!/usr/bin/env python3
"""Generate the exported interface from the operation catalogue.

The catalogue (api/catalogue/<component>.ops) lists every table-dispatched
operation, one per line.  A bare name reserves the operation's slot: the slot
stays empty and the operation answers 1811 until it is built.  A built
operation has the full form

    name shape [ret] (arg, arg, ...) [flag ...]

shape  status | value | create | handleptr | errstr
ret    result type of value shapes (int, CNT, NNZ, DIM, double, cstr, ptr, ...)
       and the handle type of create shapes (LP, NET)
arg    NAME TYPE                 scalar by value
       NAME out TYPE             scalar result through a pointer
       NAME inout TYPE           scalar read and written through a pointer
       NAME in TYPE[len]         input array of len elements
       NAME out TYPE[len]        output array of len elements
       NAME status               (create shape) the status out-parameter
len    a C++ expression over the other arguments (e.g. rcnt, end-begin+1)
flags  accept1804   the call is allowed inside an informational callback
       raw          the checked entry receives the raw public arguments and
                    does its own handle checks (handle-pointer and
                    error-string shapes, operations without an environment)
       !noV         no VNT-flavour variant (only VNTS / VNTL)
       fail=V       failure result of a value shape (default 0 / null)

Types: ENV ENVW LP CLP CLPH (an unchecked problem handle handed out) NET CNET CHANNEL PARAMSET CPARAMSET ptr cptr,
int DIM NNZ CNT SIZE LONG double char byte str (const char *),
strp (char *, for output name arrays), and callback types ending in "fn".

Width classes: DIM is 32-bit everywhere; NNZ is 64-bit in the L flavour;
CNT and SIZE are 64-bit in the S and L flavours.  Below the flavour adapters
every NNZ/CNT/SIZE value is a long long.

Outputs:
  include/vanto/vnt_ops.h   prototypes of every exported flavour
  api/chk_decls.h           declarations of the checked entries (one per op)
  api/adapters.cpp          flavour adapters, the direct ApiTableSet and the
                            recording ApiTableSet (its wrappers forward to the
                            direct slots until the call recorder fills them)
  api/catalogue_index.h     every catalogue entry with component, slot and
                            flavours (checked by tests/api)
  api/stubs.cpp             exported stubs
  api/slots.h               slot numbers
"""

import argparse
import os
import re
import sys

COMPONENTS = ["ext", "barrier", "main", "indicator", "mip", "network", "qp", "qcp"]
FLAVOURS = ["V", "S", "L"]
PREFIX = {"V": "VNT", "S": "VNTS", "L": "VNTL"}
WIDE = {  # which width classes are 64-bit in which flavour
    "V": set(),
    "S": {"CNT", "SIZE"},
    "L": {"NNZ", "CNT", "SIZE"},
}
WIDTH_CLASSES = {"NNZ", "CNT", "SIZE"}

HANDLE_C = {
    "ENV": "VNTCENVptr", "ENVW": "VNTENVptr", "LP": "VNTLPptr", "CLP": "VNTCLPptr",
    "NET": "VNTNETptr", "CNET": "VNTCNETptr", "CHANNEL": "VNTCHANNELptr",
    # A problem handle handed out (unchecked; e.g. the reduced problem).
    "CLPH": "VNTCLPptr",
    "PARAMSET": "VNTPARAMSETptr", "CPARAMSET": "VNTCPARAMSETptr",
    # Pointers to a caller's handle variable (free and close operations).
    "ENVP": "VNTENVptr *", "LPP": "VNTLPptr *", "NETP": "VNTNETptr *",
    "PARAMSETP": "VNTPARAMSETptr *", "CHANNELP": "VNTCHANNELptr *",
}
SCALAR_C = {
    "int": "int", "DIM": "int", "LONG": "VNTLONG", "double": "double", "char": "char",
    "byte": "VNTBYTE", "str": "const char *", "strp": "char *", "ptr": "void *",
    "cptr": "const void *", "cstr": "const char *",
}


class Arg:
    def __init__(self, name, direction, typ, length):
        self.name, self.dir, self.type, self.len = name, direction, typ, length

    @property
    def is_array(self):
        return self.len is not None


class Op:
    def __init__(self, comp, name):
        self.comp, self.name = comp, name
        self.shape = None
        self.ret = None
        self.args = []
        self.flags = set()

    @property
    def built(self):
        return self.shape is not None

    def exported_name(self, fl):
        p = PREFIX[fl]
        if self.comp == "ext":
            return p + "E" + self.name
        return p + self.name  # network names already carry NET

    @property
    def cid(self):
        # Identifier of the generated adapters: extension entries may share a
        # name (and their checked entry) with a main operation.
        return "E" + self.name if self.comp == "ext" else self.name

    def flavours(self):
        return [f for f in FLAVOURS if not (f == "V" and "!noV" in self.flags)]


def parse_args(text, where):
    args = []
    text = text.strip()
    if not text:
        return args
    for part in text.split(","):
        toks = part.split()
        if len(toks) == 2 and toks[1] == "status":
            args.append(Arg(toks[0], "status", "int", None))
            continue
        if len(toks) == 2:
            name, typ, direction = toks[0], toks[1], "val"
        elif len(toks) >= 3 and toks[1] in ("in", "out", "inout"):
            name, direction, typ = toks[0], toks[1], "".join(toks[2:])
        else:
            sys.exit(f"{where}: cannot parse argument '{part.strip()}'")
        length = None
        m = re.match(r"^(\w+)\[(.*)\]$", typ)
        if m:
            typ, length = m.group(1), m.group(2)
        args.append(Arg(name, direction, typ, length))
    return args


def load(catdir):
    ops = {c: [] for c in COMPONENTS}
    for comp in COMPONENTS:
        path = os.path.join(catdir, comp + ".ops")
        with open(path) as f:
            for lineno, line in enumerate(f, 1):
                line = line.split("#", 1)[0].strip()
                if not line:
                    continue
                where = f"{path}:{lineno}"
                m = re.match(r"^(\w+)\s*(.*)$", line)
                op = Op(comp, m.group(1))
                rest = m.group(2)
                if "(" in rest:
                    head, tail = rest.split("(", 1)
                    argtext, flagtext = tail.rsplit(")", 1)
                    hs = head.split()
                    op.shape = hs[0]
                    op.ret = hs[1] if len(hs) > 1 else None
                    op.args = parse_args(argtext, where)
                    op.flags = set(flagtext.split())
                    if op.shape not in ("status", "value", "create", "handleptr", "errstr"):
                        sys.exit(f"{where}: unknown shape {op.shape}")
                else:
                    op.flags = set(rest.split())
                ops[comp].append(op)
        names = [o.name.lower() for o in ops[comp]]
        if len(set(names)) != len(names):
            sys.exit(f"{path}: duplicate operation name")
        ops[comp].sort(key=lambda o: o.name.lower())
    return ops


# ---------------------------------------------------------------------------
# C types


def base_c(typ, fl):
    if typ in HANDLE_C:
        return HANDLE_C[typ]
    if typ in WIDTH_CLASSES:
        return "VNTLONG" if typ in WIDE[fl] else "int"
    if typ in SCALAR_C:
        return SCALAR_C[typ]
    if typ.endswith("fn"):
        return "VNT" + typ + " *"  # callback typedefs live in vanto.h
    sys.exit(f"unknown type {typ}")


def public_arg(a, fl):
    if a.dir == "status":
        return f"int *{a.name}"
    b = base_c(a.type, fl)
    if a.dir == "val":
        return f"{b} {a.name}" if not b.endswith("*") else f"{b}{a.name}"
    if a.is_array:
        if a.type == "str":
            return f"char **{a.name}"
        if a.type == "strp":
            return f"char **{a.name}"
        const = "const " if a.dir == "in" else ""
        return f"{const}{b} *{a.name}"
    return f"{b} *{a.name}"


def public_ret(op, fl):
    if op.shape in ("status", "handleptr"):
        return "int"
    if op.shape == "errstr":
        return "const char *"
    if op.shape == "create":
        return HANDLE_C[op.ret]
    return base_c(op.ret, fl)


def public_proto(op, fl):
    args = ", ".join(public_arg(a, fl) for a in op.args) or "void"
    ret = public_ret(op, fl)
    sep = "" if ret.endswith("*") else " "
    return f"VNTAPI {ret}{sep}VNTAPIENTRY {op.exported_name(fl)}({args})"


# Internal (checked entry) types: one signature for all flavours.
def internal_base(typ):
    if typ in ("ENV", "ENVW"):
        return "vnt::Env &"
    if typ in ("LP", "CLP"):
        return "vnt::model::Problem &"
    if typ in HANDLE_C:
        return HANDLE_C[typ]
    if typ in WIDTH_CLASSES or typ == "LONG":
        return "long long"
    if typ in SCALAR_C:
        return SCALAR_C[typ]
    if typ.endswith("fn"):
        return "VNT" + typ + " *"
    sys.exit(f"unknown type {typ}")


def internal_arg(a, raw):
    if raw:
        return public_arg(a, "L").replace("VNTLONG", "long long")
    if a.dir == "status":
        return None
    b = internal_base(a.type)
    if a.dir == "val":
        return f"{b} {a.name}" if not b.endswith(("*", "&")) else f"{b}{a.name}"
    if a.type in ("ENV", "ENVW", "LP", "CLP"):
        sys.exit("handles cannot be out arguments")
    if a.is_array:
        if a.type in ("str", "strp"):
            return f"char **{a.name}" if a.dir != "in" or a.type == "strp" else f"char **{a.name}"
        const = "const " if a.dir == "in" else ""
        return f"{const}{b} *{a.name}"
    return f"{b} *{a.name}"


def internal_ret(op):
    if op.shape == "value":
        return internal_base(op.ret)
    if op.shape == "create":
        return HANDLE_C[op.ret]
    return None


def chk_params(op):
    raw = "raw" in op.flags or op.shape in ("handleptr", "errstr")
    ps = [x for x in (internal_arg(a, raw) for a in op.args) if x is not None]
    if not raw and op.shape in ("value", "create"):
        ps.append(f"{internal_ret(op)} *result_out")
    return ps, raw


def chk_decl(op):
    ps, raw = chk_params(op)
    if raw and op.shape == "value":
        ret = public_ret(op, "L").replace("VNTLONG", "long long")
    elif raw and op.shape == "errstr":
        ret = "const char *"
    elif raw and op.shape == "create":
        ret = HANDLE_C[op.ret]
    else:
        ret = "int"
    sep = "" if ret.endswith("*") else " "
    return f"{ret}{sep}{op.name}({', '.join(ps) or 'void'})"


# ---------------------------------------------------------------------------
# Adapters


def fail_value(op, fl, null_env=False):
    """Failure result of a value shape; a null environment always gives 0."""
    if op.shape in ("status", "handleptr"):
        return None
    if op.shape in ("errstr", "create"):
        return "nullptr"
    for f in op.flags:
        if f.startswith("fail=") and not null_env:
            return f[5:]
    r = public_ret(op, fl)
    if r.endswith("*") or r.endswith("ptr"):
        return "nullptr"
    if r == "double":
        return "0.0"
    return "0"


def missing_block(op, fl):
    """An operation whose checked entry is not linked in answers 1811."""
    env = op.args[0].name if op.args else "nullptr"
    if op.shape == "handleptr":
        env = f"vnt::api::envFromHandlePtr({op.args[0].name})"
    out = [f"  if (!vnt::api::present(&vnt::chk::{op.name})) {{",
           f"    vnt::api::reportMissing({env});"]
    if op.shape == "create":
        sa = next(a for a in op.args if a.dir == "status")
        out.append(f"    if ({sa.name}) *{sa.name} = 1811;")
        out.append("    return nullptr;")
    elif op.shape == "status" or (op.shape == "handleptr" and op.name == "closeVANTO"):
        out.append("    return 1811;")
    elif op.shape == "handleptr":
        out.append("    return 0;")
    else:
        out.append(f"    return {fail_value(op, fl)};")
    out.append("  }")
    return out


def adapter(op, fl):
    """Flavour adapter: handle checks, width conversion, call, report."""
    name = f"ad_{fl}_{op.cid}"
    params = ", ".join(public_arg(a, fl) for a in op.args) or "void"
    ret = public_ret(op, fl)
    out = []
    out.append(f"static {ret} {name}({params}) {{")
    out.extend(missing_block(op, fl))
    ps, raw = chk_params(op)
    if raw:
        call = ", ".join(
            (f"({internal_arg(a, True).rsplit(' ', 1)[0].rstrip('*').strip()}*){a.name}"
             if False else a.name) for a in op.args)
        # Widen 32-bit width-class pointers/values for raw entries.
        conv, callargs, post = [], [], []
        for a in op.args:
            w = a.type in WIDTH_CLASSES and a.type not in WIDE[fl]
            if not w:
                callargs.append(a.name)
                continue
            if a.dir == "val":
                callargs.append(f"static_cast<long long>({a.name})")
            else:
                sys.exit(f"raw op {op.name}: width-class pointer arguments are not supported")
        out.append(f"  return vnt::chk::{op.name}({', '.join(callargs)});")
        out.append("}")
        return "\n".join(out)

    env = next((a for a in op.args if a.type in ("ENV", "ENVW")), None)
    lp = next((a for a in op.args if a.type in ("LP", "CLP")), None)
    acc = "true" if "accept1804" in op.flags else "false"
    if env is None:
        sys.exit(f"{op.name}: checked operations need an environment argument")
    out.append("  vnt::Env *e = nullptr;")
    if lp is not None:
        out.append("  vnt::model::Problem *p = nullptr;")
        out.append(f"  int st = vnt::api::enter({env.name}, {lp.name}, &e, &p, {acc});")
    else:
        out.append(f"  int st = vnt::api::enter({env.name}, &e, {acc});")
    fv = fail_value(op, fl)
    res_decl = None
    if op.shape == "value":
        it = internal_base(op.ret)
        res_decl = f"  {it} result{{}};"
    elif op.shape == "create":
        res_decl = f"  {HANDLE_C[op.ret]} result = nullptr;"
    if res_decl:
        out.append(res_decl)
    out.append("  if (st == 0) {")
    callargs, post = [], []
    for a in op.args:
        if a.dir == "status":
            continue
        if a.type in ("ENV", "ENVW"):
            callargs.append("*e")
            continue
        if a.type in ("LP", "CLP"):
            callargs.append("*p")
            continue
        narrow = a.type in WIDTH_CLASSES and a.type not in WIDE[fl]
        if a.type in ("str", "strp") and a.is_array:
            callargs.append(f"const_cast<char **>({a.name})" if a.dir == "in" else a.name)
            continue
        if not narrow:
            if a.type in WIDTH_CLASSES or a.type == "LONG":
                # Already 64-bit (VNTLONG == long long).
                callargs.append(a.name)
            else:
                callargs.append(a.name)
            continue
        # 32-bit width-class argument in this flavour: convert.
        if a.dir == "val":
            callargs.append(f"static_cast<long long>({a.name})")
        elif not a.is_array:
            t = f"w_{a.name}"
            out.append(f"    long long {t} = vnt::api::kUnwritten;")
            if a.dir == "inout":
                out.append(f"    if ({a.name}) {t} = *{a.name};")
            callargs.append(f"{a.name} ? &{t} : nullptr")
            post.append(f"    if ({a.name} && {t} != vnt::api::kUnwritten) "
                        f"vnt::api::narrowOut(e, {t}, {a.name}, &st);")
        else:
            t = f"w_{a.name}"
            out.append(f"    vnt::api::WideArray {t}({a.name}, static_cast<long long>({a.len}), "
                       f"{'true' if a.dir != 'out' else 'false'});")
            out.append(f"    if (!{t}.ok()) st = 1001;")
            callargs.append(f"{t}.data()")
            if a.dir != "in":
                post.append(f"    if (st == 0 && {t}.copyBack({a.name})) st = 1810;")
    if op.shape in ("value", "create"):
        callargs.append("&result")
    call = f"vnt::chk::{op.name}({', '.join(callargs)})"
    out.append(f"    if (st == 0) st = {call};")
    out.extend(post)
    out.append("  }")
    if op.shape == "create":
        sa = next(a for a in op.args if a.dir == "status")
        out.append("  vnt::api::report(e, &st);")
        out.append(f"  if ({sa.name}) *{sa.name} = st;")
        out.append("  return st == 0 ? result : nullptr;")
    elif op.shape == "value":
        pr = public_ret(op, fl)
        if op.ret in WIDTH_CLASSES and op.ret not in WIDE[fl]:
            out.append("  int narrowed = 0;")
            out.append("  if (st == 0) narrowed = vnt::api::narrowValue(result, &st);")
            out.append("  vnt::api::report(e, &st);")
            out.append("  return narrowed;")
        else:
            out.append("  vnt::api::report(e, &st);")
            out.append(f"  return st == 0 ? static_cast<{pr}>(result) : {fv};")
    else:
        out.append("  vnt::api::report(e, &st);")
        out.append("  return st;")
    out.append("}")
    return "\n".join(out)


# ---------------------------------------------------------------------------


def write_if_changed(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.exists(path):
        with open(path) as f:
            if f.read() == text:
                return
    with open(path, "w") as f:
        f.write(text)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--catalogue", required=True)
    ap.add_argument("--out", required=True)
    a = ap.parse_args()
    ops = load(a.catalogue)
    allops = [o for c in COMPONENTS for o in ops[c]]
    built = [o for o in allops if o.built]
    banner = "/* Generated by api/gen/genapi.py from api/catalogue; do not edit. */\n"

    # Public prototypes.
    h = [banner, "#ifndef VANTO_VNT_OPS_H", "#define VANTO_VNT_OPS_H", "",
         "#ifdef __cplusplus", 'extern "C" {', "#endif", ""]
    for fl in FLAVOURS:
        h.append(f"/* {PREFIX[fl]} flavour */")
        for o in built:
            if fl in o.flavours():
                h.append(public_proto(o, fl) + ";")
        h.append("")
    h += ["#ifdef __cplusplus", "}", "#endif", "#endif", ""]
    write_if_changed(os.path.join(a.out, "include/vanto/vnt_ops.h"), "\n".join(h))

    # Slot numbers.
    s = [banner, "#pragma once", "namespace vnt::api {",
         "enum Component { " + ", ".join(f"kComp_{c}" for c in COMPONENTS) + ", kNumComponents };",
         "inline constexpr int kComponentSize[] = {" +
         ", ".join(str(len(ops[c])) for c in COMPONENTS) + "};"]
    for c in COMPONENTS:
        for i, o in enumerate(ops[c]):
            s.append(f"inline constexpr int kSlot_{c}_{o.name} = {i};")
    s.append("}  // namespace vnt::api\n")
    write_if_changed(os.path.join(a.out, "api/slots.h"), "\n".join(s))

    # Checked-entry declarations.
    d = [banner, "#pragma once", '#include "api/frame.h"',
         "// Checked entries are weak references: an operation whose entry is not",
         "// linked in answers 1811 instead of failing the link.",
         "#define VNT_CHK_WEAK __attribute__((weak))",
         "namespace vnt::chk {"]
    for o in built:
        d.append("VNT_CHK_WEAK " + chk_decl(o) + ";")
    d.append("}  // namespace vnt::chk\n")
    write_if_changed(os.path.join(a.out, "api/chk_decls.h"), "\n".join(d))

    # Adapters and the direct table set.
    ad = [banner, '#include "api/chk_decls.h"', '#include "api/slots.h"', "",
          "namespace {"]
    for o in built:
        for fl in o.flavours():
            ad.append(adapter(o, fl))
            ad.append("")
    ad.append("}  // namespace")
    ad.append("")
    ad.append("namespace vnt::api {")
    for fl in FLAVOURS:
        for c in COMPONENTS:
            ad.append(f"static const VntFn table_{fl}_{c}[] = {{")
            for o in ops[c]:
                if o.built and fl in o.flavours():
                    ad.append(f"  reinterpret_cast<VntFn>(&ad_{fl}_{o.cid}),")
                else:
                    ad.append(f"  nullptr,  // {o.name}")
            ad.append("  nullptr};")
    ad.append("const ApiTableSet kDirectTables = {{")
    for fl in FLAVOURS:
        ad.append("  {" + ", ".join(f"table_{fl}_{c}" for c in COMPONENTS) + "},")
    ad.append("}};")
    ad.append("}  // namespace vnt::api")
    ad.append("")
    # Recording set: one wrapper per slot with the slot's signature.  The
    # wrappers hand the call to the same slot of the direct set; the call
    # recorder records around that call.
    ad.append("namespace {")
    for o in built:
        for fl in o.flavours():
            params = ", ".join(public_arg(x, fl) for x in o.args) or "void"
            names = ", ".join(x.name for x in o.args)
            ret = public_ret(o, fl)
            sep = "" if ret.endswith("*") else " "
            ad.append(f"static {ret}{sep}rec_{fl}_{o.cid}({params}) {{")
            ad.append(f"  vnt::api::RecordScope scope(\"{o.exported_name(fl)}\");")
            ad.append(f"  return ad_{fl}_{o.cid}({names});")
            ad.append("}")
    ad.append("}  // namespace")
    ad.append("")
    ad.append("namespace vnt::api {")
    for fl in FLAVOURS:
        for c in COMPONENTS:
            ad.append(f"static const VntFn rtable_{fl}_{c}[] = {{")
            for o in ops[c]:
                if o.built and fl in o.flavours():
                    ad.append(f"  reinterpret_cast<VntFn>(&rec_{fl}_{o.cid}),")
                else:
                    ad.append(f"  nullptr,  // {o.name}")
            ad.append("  nullptr};")
    ad.append("const ApiTableSet kRecordingTables = {{")
    for fl in FLAVOURS:
        ad.append("  {" + ", ".join(f"rtable_{fl}_{c}" for c in COMPONENTS) + "},")
    ad.append("}};")
    ad.append("}  // namespace vnt::api\n")
    write_if_changed(os.path.join(a.out, "api/adapters.cpp"), "\n".join(ad))

    # Catalogue index.
    ci = [banner, "#pragma once", "namespace vnt::api {",
          "struct CatalogueEntry {",
          "  int component;     // index into the component tables",
          "  int slot;",
          "  const char* name;",
          "  const char* exported;  // VNT-flavour name (VNTS name when there is no VNT flavour)",
          "  bool built;",
          "  bool hasV;",
          "  bool accept1804;  // allowed inside an informational callback",
          "};",
          "inline constexpr CatalogueEntry kCatalogue[] = {"]
    for c in COMPONENTS:
        for i, o in enumerate(ops[c]):
            fl = "V" if "!noV" not in o.flags else "S"
            ci.append(f'  {{{COMPONENTS.index(c)}, {i}, "{o.name}", "{o.exported_name(fl)}", '
                      f'{"true" if o.built else "false"}, {"false" if "!noV" in o.flags else "true"}, '
                      f'{"true" if "accept1804" in o.flags else "false"}}},')
    ci.append("};")
    ci.append("}  // namespace vnt::api\n")
    write_if_changed(os.path.join(a.out, "api/catalogue_index.h"), "\n".join(ci))

    # Exported stubs.
    st = [banner, '#include "api/frame.h"', '#include "api/slots.h"', ""]
    for fl in FLAVOURS:
        fi = FLAVOURS.index(fl)
        for o in built:
            if fl not in o.flavours():
                continue
            ci = COMPONENTS.index(o.comp)
            slot = f"vnt::api::kSlot_{o.comp}_{o.name}"
            params = ", ".join(public_arg(x, fl) for x in o.args) or "void"
            names = ", ".join(x.name for x in o.args)
            ret = public_ret(o, fl)
            fnt = f"{ret} (*)({params})"
            first = o.args[0]
            st.append(f'extern "C" {public_proto(o, fl)} {{')
            if o.shape == "handleptr":
                st.append(f"  const void *envh = vnt::api::envFromHandlePtr({first.name});")
                st.append("  if (!envh) return 0;")
            elif first.type in ("ENV", "ENVW"):
                st.append(f"  const void *envh = {first.name};")
                nullres = {"status": "1002", "value": fail_value(o, fl, True), "errstr": None,
                           "create": "nullptr"}[o.shape]
                if o.shape == "create":
                    sa = next(x for x in o.args if x.dir == "status")
                    st.append(f"  if (!envh) {{ if ({sa.name}) *{sa.name} = 1002; return nullptr; }}")
                elif o.shape != "errstr" and "raw" not in o.flags:
                    st.append(f"  if (!envh) return {nullres};")
            else:
                st.append("  const void *envh = nullptr;")
            st.append(f"  vnt::api::VntFn f = vnt::api::slotFor(envh, {fi}, {ci}, {slot});")
            st.append(f"  if (f) return reinterpret_cast<{fnt}>(f)({names});")
            st.append("  vnt::api::reportMissing(envh);")
            if o.shape == "create":
                sa = next(x for x in o.args if x.dir == "status")
                st.append(f"  if ({sa.name}) *{sa.name} = 1811;")
                st.append("  return nullptr;")
            elif o.shape == "status":
                st.append("  return 1811;")
            elif o.shape == "handleptr":
                st.append(f"  return {'1811' if o.name == 'closeVANTO' else '0'};")
            else:
                st.append(f"  return {fail_value(o, fl)};")
            st.append("}")
            st.append("")
    write_if_changed(os.path.join(a.out, "api/stubs.cpp"), "\n".join(st))


if __name__ == "__main__":
    main()
