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
len    a C++ expression over the other arguments (e.g. rcnt, end-begin+1); the
       words colcount, rowcount, pwlcount and startcount stand for the
       problem's columns, rows, piecewise-linear constraints and MIP starts
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
                            recording ApiTableSet (its wrappers record each
                            call's arguments, with array lengths from the
                            catalogue, and its results around the direct entry)
  api/catalogue_index.h     every catalogue entry with component, slot and
                            flavours (checked by tests/api)
  api/stubs.cpp             exported stubs
  api/slots.h               slot numbers
  replay/replay_table.cpp   the replay function of every recordable entry
                            (apps/replay: rebuild the arguments of a recorded
                            call, call, compare the results)
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
# Recording wrappers: data types of the recorder's data_types table.

REC_VAL_DT = {  # scalar by value
    "ENV": 43, "ENVW": 1, "LP": 6, "CLP": 44, "CLPH": 44, "NET": 25, "CNET": 26, "CHANNEL": 18,
    "PARAMSET": 51, "CPARAMSET": 52, "ENVP": 17, "LPP": 16, "NETP": 38, "PARAMSETP": 53,
    "CHANNELP": 27, "int": 2, "DIM": 7, "NNZ": 11, "CNT": 46, "SIZE": 29, "LONG": 33, "double": 24,
    "char": 2, "byte": 2, "str": 5, "strp": 28, "ptr": 20, "cptr": 20,
}
REC_OUT_DT = {  # scalar through a pointer, and output arrays
    "int": 4, "DIM": 39, "NNZ": 40, "CNT": 47, "SIZE": 30, "LONG": 34, "double": 14, "char": 28,
    "byte": 28, "ptr": 21, "CHANNEL": 27, "CLPH": 45, "LP": 16, "ENV": 17, "NET": 38, "PARAMSET": 53,
    "str": 10, "strp": 10,
}
REC_IN_ARRAY_DT = {
    "double": 8, "int": 15, "DIM": 13, "NNZ": 12, "CNT": 48, "SIZE": 49, "LONG": 35, "char": 5,
    "byte": 42, "str": 9,
}
REC_RET_DT = {"int": 2, "DIM": 7, "NNZ": 11, "CNT": 46, "SIZE": 29, "LONG": 33, "double": 24, "cstr": 5,
              "ptr": 20, "char": 2}
REC_CREATE_DT = {"LP": 6, "NET": 25, "PARAMSET": 51, "ENV": 1}
HANDLE_TYPES = {"ENV", "ENVW", "LP", "CLP", "CLPH", "NET", "CNET", "CHANNEL", "PARAMSET", "CPARAMSET"}
HANDLEPTR_TYPES = {"ENVP", "LPP", "NETP", "PARAMSETP", "CHANNELP"}


def array_length(op, a, counts):
    """C++ expression of an array argument's length, safe to evaluate: arrays
    the expression indexes must be non-null.  counts(fn, handle) spells the
    count functions (rows, columns, arcs, nodes of a handle)."""
    e = re.sub(r"\b(nrows|ncols|narcs|nnodes)\((\w+)\)", lambda m: counts(m.group(1), m.group(2)), a.len)
    # counts the catalogue names by what they count
    lp = next((x.name for x in op.args if x.type in ("LP", "CLP")), "nullptr")
    for word, fn in (("colcount", "ncols"), ("rowcount", "nrows"), ("pwlcount", "npwl"),
                     ("startcount", "nmipstarts")):
        e = re.sub(rf"\b{word}\b", counts(fn, lp), e)
    indexed = sorted(set(re.findall(r"\b(\w+)\[", a.len)))
    e = f"static_cast<long long>({e})"
    if indexed:
        e = f"(({' && '.join(indexed)}) ? {e} : 0LL)"
    return e


def rec_length(op, a):
    return array_length(op, a, lambda fn, h: f"vnt::api::rec::{fn}({h})")


def rec_dt(a, table):
    t = "fn" if a.type.endswith("fn") else a.type
    if t == "fn":
        return 22 if table is REC_VAL_DT else 23
    if t not in table:
        sys.exit(f"recorder: no data type for {a.dir} {a.type}")
    return table[t]


def rec_input(op, a, num):
    n = a.name
    if a.dir == "val":
        dt = rec_dt(a, REC_VAL_DT)
        if a.type in HANDLE_TYPES or a.type in ("ptr", "cptr") or a.type.endswith("fn"):
            return f"rc_.pointer({num}, {dt}, reinterpret_cast<const void *>({n}));"
        if a.type in HANDLEPTR_TYPES:
            return (f"if ({n}) rc_.value({num}, {dt}, static_cast<long long>(reinterpret_cast<intptr_t>(*{n}))); "
                    f"else rc_.pointer({num}, {dt}, nullptr);")
        if a.type == "str":
            return f"rc_.text({num}, {dt}, {n});"
        if a.type == "strp":
            return f"rc_.pointer({num}, {dt}, {n});"
        if a.type == "char":
            return f"rc_.character({num}, {dt}, {n});"
        if a.type == "double":
            return f"rc_.value({num}, {dt}, static_cast<double>({n}));"
        return f"rc_.value({num}, {dt}, static_cast<long long>({n}));"
    if a.dir == "in" and a.is_array:
        return f"rc_.array({num}, {rec_dt(a, REC_IN_ARRAY_DT)}, {n}, {rec_length(op, a)});"
    if a.dir == "inout":
        dt = rec_dt(a, REC_OUT_DT)
        if a.is_array:
            return f"rc_.array({num}, {dt}, {n}, len{num}_);"
        return rec_scalar_through(a, num, dt)
    # an output: whether (and where) the caller passed room for it
    dt = 4 if a.dir == "status" else rec_dt(a, REC_OUT_DT)
    return f"rc_.pointer({num}, {dt}, reinterpret_cast<const void *>({n}));"


def rec_scalar_through(a, num, dt):
    n = a.name
    if a.type == "double":
        v = f"rc_.value({num}, {dt}, static_cast<double>(*{n}))"
    elif a.type in HANDLE_TYPES or a.type == "ptr":
        v = f"rc_.pointer({num}, {dt}, reinterpret_cast<const void *>(*{n}))"
    elif a.type == "char":
        v = f"rc_.character({num}, {dt}, *{n})"
    else:
        v = f"rc_.value({num}, {dt}, static_cast<long long>(*{n}))"
    return f"if ({n}) {v}; else rc_.pointer({num}, {dt}, nullptr);"


def rec_output(op, a, num):
    n = a.name
    if a.dir == "status":
        return rec_scalar_through(a, num, 4)
    if a.dir == "val" and a.type in HANDLEPTR_TYPES:
        return rec_input(op, a, num)
    if a.dir == "val" and a.type == "strp":
        return f"rc_.text({num}, 28, {n});"
    if a.dir not in ("out", "inout"):
        return None
    dt = rec_dt(a, REC_OUT_DT)
    if not a.is_array:
        return rec_scalar_through(a, num, dt)
    ln = f"len{num}_" if a.dir == "inout" else rec_length(op, a)
    if a.type == "char":
        # character buffers are texts (at most their length)
        return (f"if (!{n}) rc_.pointer({num}, {dt}, nullptr); else "
                f"rc_.text({num}, {dt}, std::string({n}, strnlen({n}, static_cast<size_t>(std::max(0LL, {ln})))).c_str());")
    return f"rc_.array({num}, {dt}, {n}, {ln});"


def recording_wrapper(o, fl):
    params = ", ".join(public_arg(x, fl) for x in o.args) or "void"
    names = ", ".join(x.name for x in o.args)
    ret = public_ret(o, fl)
    sep = "" if ret.endswith("*") else " "
    first = o.args[0] if o.args else None
    if o.shape == "handleptr" and first is not None and first.type in HANDLEPTR_TYPES:
        envh = f"vnt::api::envFromHandlePtr({first.name})"
    elif first is not None and first.type in ("ENV", "ENVW"):
        envh = first.name
    else:
        envh = "nullptr"
    if o.shape == "create":
        sa = next(x for x in o.args if x.dir == "status")
        on_fail = f"{{ if ({sa.name}) *{sa.name} = f_; return nullptr; }}"
        ok = "r_ != nullptr"
        record_ret = f"rc_.returnedPointer({REC_CREATE_DT[o.ret]}, r_);"
    elif o.shape in ("status", "handleptr"):
        on_fail = "return f_;"
        ok = "r_ == 0"
        record_ret = "rc_.returned(2, static_cast<long long>(r_));"
    elif o.shape == "errstr":
        on_fail = "return nullptr;"
        ok = "r_ != nullptr"
        record_ret = "rc_.returnedText(5, r_);"
    else:
        on_fail = f"return {fail_value(o, fl)};"
        ok = "true"
        if o.ret == "cstr":
            record_ret = "rc_.returnedText(5, r_);"
        elif o.ret == "double":
            record_ret = "rc_.returned(24, static_cast<double>(r_));"
        elif o.ret == "ptr":
            record_ret = "rc_.returnedPointer(20, r_);"
        else:
            record_ret = f"rc_.returned({REC_RET_DT[o.ret]}, static_cast<long long>(r_));"
    out = [f"static {ret}{sep}rec_{fl}_{o.cid}({params}) {{",
           f"  vnt::api::rec::Call rc_({envh}, \"{o.exported_name(fl)}\");",
           f"  if (!rc_.active()) return ad_{fl}_{o.cid}({names});",
           "  rc_.beginInputs();"]
    for k, a in enumerate(o.args):
        if a.dir == "inout" and a.is_array:
            out.append(f"  const long long len{k}_ = {rec_length(o, a)};")
    for k, a in enumerate(o.args):
        line = rec_input(o, a, k)
        if line:
            out.append("  " + line)
    fcond = "int f_ = rc_.end()" if "f_" in on_fail else "rc_.end() != 0"
    out.append(f"  if ({fcond}) {on_fail}")
    out.append(f"  {ret}{sep}r_ = ad_{fl}_{o.cid}({names});")
    out.append("  rc_.beginOutputs();")
    out.append(f"  {record_ret}")
    outs = [x for x in (rec_output(o, a, k) for k, a in enumerate(o.args)) if x]
    if outs:
        out.append(f"  if ({ok}) {{")
        out.extend("    " + x for x in outs)
        out.append("  }")
    out.append(f"  if ({fcond}) {on_fail}")
    out.append("  return r_;")
    out.append("}")
    return "\n".join(out)


# ---------------------------------------------------------------------------
# Replay functions (apps/replay): one per recorded entry; each rebuilds the
# arguments from the recorded rows, makes the call through the public
# interface and compares its results with the recorded ones.


def rp_length(op, a):
    return array_length(op, a, lambda fn, h: f"vnt::replay::{fn}(c, {h})")


def rp_elem(a, fl):
    if a.type in ("str", "strp"):
        return "char *"
    return base_c(a.type, fl)


def replay_function(o, fl):
    name = f"rp_{fl}_{o.cid}"
    out = [f"static void {name}(vnt::replay::Ctx &c, const vnt::replay::CallRec &r) {{"]
    callargs, checks, post, arrays = [], [], [], []
    # scalars first: array lengths are expressions over them
    order = [k for k, a in enumerate(o.args) if not a.is_array] + [k for k, a in enumerate(o.args) if a.is_array]
    callargs = [a.name for a in o.args]
    for k in order:
        a = o.args[k]
        n = a.name
        if a.dir == "status":
            out.append(f"  int {n}_v = 0;")
            out.append(f"  int *{n} = r.input({k}).null ? nullptr : &{n}_v;")
            checks.append(f"if ({n}) c.checkValue(r, {k}, static_cast<long long>(*{n}));")
            continue
        if a.dir == "val":
            if a.type in ("ENV", "ENVW"):
                out.append(f"  {HANDLE_C[a.type]} {n} = static_cast<{HANDLE_C[a.type]}>(c.envHandle(r.input({k})));")
            elif a.type in HANDLE_TYPES:
                out.append(f"  {HANDLE_C[a.type]} {n} = static_cast<{HANDLE_C[a.type]}>(c.handle(r.input({k})));")
            elif a.type in HANDLEPTR_TYPES:
                t = HANDLE_C[a.type].replace(" *", "")
                getter = "c.envHandle" if a.type == "ENVP" else "c.handle"
                out.append(f"  {t} {n}_h = static_cast<{t}>({getter}(r.input({k})));")
                out.append(f"  {t} *{n} = r.input({k}).null ? nullptr : &{n}_h;")
                post.append(f"if ({n} && !*{n}) c.forget(r.input({k}));")
            elif a.type in ("int", "DIM", "NNZ", "CNT", "SIZE", "LONG", "byte"):
                t = base_c(a.type, fl)
                out.append(f"  {t} {n} = static_cast<{t}>(r.input({k}).i());")
            elif a.type == "double":
                out.append(f"  double {n} = r.input({k}).d();")
            elif a.type == "char":
                out.append(f"  char {n} = static_cast<char>(r.input({k}).i());")
            elif a.type == "str":
                out.append(f"  const char *{n} = r.input({k}).text();")
            elif a.type == "strp":
                out.append(f"  std::vector<char> {n}_b(r.input({k}).null ? 0 : 4096);")
                out.append(f"  char *{n} = {n}_b.empty() ? nullptr : {n}_b.data();")
                checks.append(f"if ({n}) c.checkText(r, {k}, {n}, 4096);")
            elif a.type in ("ptr", "cptr"):
                out.append(f"  void *{n} = c.userPointer(r.input({k}));")
            elif a.type.endswith("fn"):
                out.append(f"  VNT{a.type} *{n} = r.input({k}).null ? nullptr : &vnt::replay::{a.type}Sink;")
            else:
                sys.exit(f"replay: cannot rebuild {a.type}")
            continue
        t = rp_elem(a, fl)
        if a.is_array:
            ln = rp_length(o, a)
            if a.dir == "in" and a.type == "str":
                out.append(f"  std::vector<std::string> {n}_s;")
                out.append(f"  std::vector<char *> {n}_p;")
                out.append(f"  char **{n} = c.inTexts(r.input({k}), {n}_s, {n}_p, {ln});")
                continue
            if a.dir == "in":
                out.append(f"  std::vector<{t}> {n}_b;")
                out.append(f"  const {t} *{n} = c.inArray(r.input({k}), {n}_b, {ln});")
                continue
            if a.dir == "inout":
                out.append(f"  std::vector<{t}> {n}_b;")
                out.append(f"  {t} *{n} = c.inArray(r.input({k}), {n}_b, {ln});")
                out.append(f"  const long long {n}_n = static_cast<long long>({n}_b.size());")
                checks.append(f"c.checkArray(r, {k}, {n}, {n}_n);")
                continue
            out.append(f"  std::vector<{t}> {n}_b;")
            out.append(f"  {t} *{n} = c.outArray(r.input({k}), {n}_b, {ln});")
            if a.type == "char":
                checks.append(f"if ({n}) c.checkText(r, {k}, {n}, {ln});")
            else:
                checks.append(f"if ({n}) c.checkArray(r, {k}, {n}, {ln});")
            continue
        # scalars through a pointer
        if a.type in HANDLE_TYPES:
            ht = HANDLE_C[a.type]
            out.append(f"  {ht} {n}_v = nullptr;")
            out.append(f"  {ht} *{n} = r.input({k}).null ? nullptr : &{n}_v;")
            checks.append(f"if ({n}) c.mapOutput(r, {k}, const_cast<void *>(static_cast<const void *>(*{n})));")
            continue
        if a.dir == "inout":
            out.append(f"  {t} *{n} = c.persistent<{t}>(r.input({k}));")
        else:
            out.append(f"  {t} {n}_v{{}};")
            out.append(f"  {t} *{n} = r.input({k}).null ? nullptr : &{n}_v;")
        checks.append(f"if ({n}) c.checkValue(r, {k}, *{n});")
    fn = o.exported_name(fl)
    if o.shape in ("status", "handleptr"):
        out.append(f"  const int ret_ = {fn}({', '.join(callargs)});")
        out.append("  c.checkReturn(r, static_cast<long long>(ret_));")
        ok = "ret_ == 0"
    elif o.shape == "create":
        out.append(f"  auto ret_ = {fn}({', '.join(callargs)});")
        out.append("  c.mapReturn(r, const_cast<void *>(static_cast<const void *>(ret_)));")
        ok = "ret_ != nullptr"
    elif o.shape == "errstr" or o.ret == "cstr":
        out.append(f"  const char *ret_ = {fn}({', '.join(callargs)});")
        out.append("  c.checkReturnText(r, ret_);")
        ok = "ret_ != nullptr"
    elif o.ret == "double":
        out.append(f"  const double ret_ = {fn}({', '.join(callargs)});")
        out.append("  c.checkReturn(r, ret_);")
        ok = "true"
    else:
        out.append(f"  const auto ret_ = {fn}({', '.join(callargs)});")
        out.append("  c.checkReturn(r, static_cast<long long>(ret_));")
        ok = "true"
    if checks:
        out.append(f"  if ({ok} && r.succeeded) {{")
        out.extend("    " + x for x in checks)
        out.append("  }")
    out.extend("  " + x for x in post)
    out.append("}")
    return "\n".join(out)


def write_replay(path, built, banner):
    rp = [banner, '#include "replay/replay.h"', "", "namespace {"]
    names = []
    for o in built:
        first = o.args[0] if o.args else None
        recordable = first is not None and (first.type in ("ENV", "ENVW") or first.type == "ENVP")
        if not recordable:
            continue
        for fl in o.flavours():
            rp.append(replay_function(o, fl))
            rp.append("")
            names.append((o.exported_name(fl), f"rp_{fl}_{o.cid}"))
    rp.append("}  // namespace")
    rp.append("")
    rp.append("namespace vnt::replay {")
    rp.append("const ReplayEntry kReplayTable[] = {")
    for ename, fname in sorted(names):
        rp.append(f'  {{"{ename}", &{fname}}},')
    rp.append("};")
    rp.append("const std::size_t kReplayTableSize = sizeof kReplayTable / sizeof kReplayTable[0];")
    rp.append("}  // namespace vnt::replay\n")
    write_if_changed(path, "\n".join(rp))


# ---------------------------------------------------------------------------


def write_if_changed(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.exists(path):
        with open(path) as f:
            if f.read() == text:
                return
    with open(path, "w") as f:
        f.write(text)


def table_set(built, ops, entry, fn_prefix, table_prefix, set_name):
    """The entries of every built operation and flavour (made by `entry`) and
    the table set that holds them, one table per flavour and component."""
    out = ["namespace {"]
    for o in built:
        for fl in o.flavours():
            out += [entry(o, fl), ""]
    out += ["}  // namespace", "", "namespace vnt::api {"]
    for fl in FLAVOURS:
        for c in COMPONENTS:
            out.append(f"static const VntFn {table_prefix}_{fl}_{c}[] = {{")
            for o in ops[c]:
                if o.built and fl in o.flavours():
                    out.append(f"  reinterpret_cast<VntFn>(&{fn_prefix}_{fl}_{o.cid}),")
                else:
                    out.append(f"  nullptr,  // {o.name}")
            out.append("  nullptr};")
    out.append(f"const ApiTableSet {set_name} = {{{{")
    for fl in FLAVOURS:
        out.append("  {" + ", ".join(f"{table_prefix}_{fl}_{c}" for c in COMPONENTS) + "},")
    out += ["}};", "}  // namespace vnt::api", ""]
    return out


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

    # Adapters and the direct table set, then the recording set: one wrapper
    # per slot with the slot's signature that records the call around the
    # direct entry (api/recorder.h).
    ad = [banner, '#include "api/chk_decls.h"', '#include "api/recorder.h"', "#include <algorithm>",
          "#include <cstdint>", "#include <cstring>", "#include <string>", '#include "api/slots.h"', ""]
    ad += table_set(built, ops, adapter, "ad", "table", "kDirectTables")
    ad += table_set(built, ops, recording_wrapper, "rec", "rtable", "kRecordingTables")
    write_if_changed(os.path.join(a.out, "api/adapters.cpp"), "\n".join(ad))

    # Replay functions of the vanto-replay program.
    write_replay(os.path.join(a.out, "replay/replay_table.cpp"), built, banner)

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
