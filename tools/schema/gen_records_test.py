#!/usr/bin/env python3
"""Tests of the record generator: names, schema checks, the hand-written part
of a record class, and the check mode that guards the committed files."""
import contextlib
import copy
import io
import re
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, str(Path(__file__).resolve().parent))

import bank_schema  # noqa: E402
import gen_records  # noqa: E402
from schema_model import Column, ColumnType, Enum, alpha  # noqa: E402


def class_body(header: str, cls: str) -> str:
    m = re.search(rf"class (BK_EXPORT )?{cls} : public bkData {{", header)
    start = m.start()
    return header[start:header.index("\n};\n", start)]


class NamesTest(unittest.TestCase):
    def test_lower_camel(self):
        cases = {"Run": "run", "BankAccount": "bankAccount", "GLCashAccount": "glCashAccount",
                 "DPLoc": "dpLoc", "ApplOfOrigin": "applOfOrigin", "TaxGLDetailRun": "taxGLDetailRun"}
        for name, want in cases.items():
            self.assertEqual(gen_records.lower_camel(name), want, name)

    def test_column_names_are_short_upper_case(self):
        for bad in ("TOOLONGX", "lower", "T-X", ""):
            with self.assertRaises(ValueError, msg=bad):
                Column(bad, ColumnType("alpha", 5), "X")


class ValidateTest(unittest.TestCase):
    def problems_after(self, change):
        schema = copy.deepcopy(bank_schema.SCHEMA)
        change(schema)
        return gen_records.validate(schema, bank_schema.GLOBAL_ENUMS)

    def test_the_schema_is_valid(self):
        self.assertEqual(gen_records.validate(bank_schema.SCHEMA, bank_schema.GLOBAL_ENUMS), [])

    def test_reports_broken_declarations(self):
        bkt = 1
        cases = {
            "key column": lambda s: s[bkt].records[0].key.append("NOPE"),
            "index 5 used": lambda s: s[bkt].records[4].indexes.__setitem__(5, ["CDBNKAC"]),
            "index 0 is the key": lambda s: s[bkt].records[1].indexes.__setitem__(0, ["DIBNKAC"]),
            "index 7 column": lambda s: s[bkt].records[4].indexes.__setitem__(7, ["TBNKACC"]),
            "column name repeats": lambda s: s[bkt].records[6].columns.append(alpha("TRRUN", "Again", 3)),
            "unknown enumeration": lambda s: s[bkt].records[5].columns.__setitem__(
                2, Column("BSOURCE", ColumnType("choice", 3, 0, 1, "NoSuchEnum"), "Source")),
        }
        for what, change in cases.items():
            found = self.problems_after(change)
            self.assertTrue(any(what in p for p in found), f"{what}: {found}")


class HandWrittenPartTest(unittest.TestCase):
    def test_sections_are_copied_into_the_class(self):
        with tempfile.TemporaryDirectory() as root:
            (Path(root) / "records").mkdir()
            (Path(root) / "records" / "batch_data_ops.inc").write_text(
                "// comment of the part, not copied\n"
                "//@includes\n#include <memory>\n"
                "//@public\n  void ClearAmounts();\n"
                "//@private\n  int cache_ = 0;\n"
                "//@on-assign\n  cache_ = 0;\n")
            files = gen_records.outputs(Path(root))
        header = files["records/batch_data.h"]
        body = class_body(header, "BatchData")
        self.assertIn("  void ClearAmounts();", body)
        self.assertIn("  int cache_ = 0;", body[body.index(" private:"):])
        self.assertLess(header.index("#include <memory>"), header.index("class BatchKeyData;"))
        self.assertNotIn("not copied", header)
        self.assertIn("hand-written part records/batch_data_ops.inc", header[:header.index("#pragma once")])
        source = files["records/batch_data.cc"]
        # Both assignments (copy and move) run the hook after the values are in.
        for head in ("BatchData& BatchData::operator=(const BatchData& other)",
                     "BatchData& BatchData::operator=(BatchData&& other) noexcept"):
            assign = source[source.index(head):]
            self.assertLess(assign.index("Assign("), assign.index("cache_ = 0;"), head)
            self.assertLess(assign.index("cache_ = 0;"), assign.index("return *this;"), head)
        self.assertNotIn("ClearAmounts", class_body(header, "BatchKeyData"))

    def test_unknown_section_is_refused(self):
        with tempfile.TemporaryDirectory() as root:
            (Path(root) / "records").mkdir()
            (Path(root) / "records" / "batch_data_ops.inc").write_text("//@protected\n  void X();\n")
            with self.assertRaises(SystemExit):
                gen_records.outputs(Path(root))


class GeneratedClassesTest(unittest.TestCase):
    def test_every_column_has_its_accessors_inside_its_class(self):
        files = gen_records.outputs(Path(tempfile.gettempdir()) / "no-such-root")
        for f in bank_schema.SCHEMA:
            for r in f.records:
                if not r.cls:
                    continue
                body = class_body(files[f"records/{r.stem}.h"], r.cls)
                for c in r.columns:
                    self.assertIn(f" Get{c.accessor}() const {{ return m_{c.accessor}; }}", body, c.name)
                    self.assertEqual(f" Set{c.accessor}(" in body, c.setter, c.name)
                    self.assertIn(f'c.CreateColumn("{c.name}", &m_{c.accessor});',
                                  files.get(f"records/{r.stem}.cc", files[f"records/{r.stem}.h"]))

    def test_enumerations_nest_in_their_record_class(self):
        files = gen_records.outputs(Path(tempfile.gettempdir()) / "no-such-root")
        body = class_body(files["records/transaction_data.h"], "TransactionData")
        self.assertIn("enum class TranTypeEnum : short {", body)
        self.assertIn("tclTSEnum<TranTypeEnum> m_Type;", body)
        self.assertIn("tclTSEnum<BatchSourceEnum> m_BatchSource;", body)
        self.assertIn("enum class BatchSourceEnum : short {", files["records/record_enums.h"])
        self.assertIsInstance(bank_schema.GLOBAL_ENUMS[0], Enum)


class CheckModeTest(unittest.TestCase):
    def run_main(self, *args):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            code = gen_records.main(list(args))
        return code, out.getvalue()

    def test_check_finds_changed_and_missing_files(self):
        with tempfile.TemporaryDirectory() as root:
            for d in ("records", "framework/dictionary"):
                (Path(root) / d).mkdir(parents=True)
            self.assertEqual(self.run_main("--root", root)[0], 0)
            self.assertEqual(self.run_main("--check", "--root", root)[0], 0)
            edited = Path(root) / "records" / "transaction_data.h"
            edited.write_text(edited.read_text().replace("GetDueFromAccount", "GetDueFrom"))
            (Path(root) / "framework/dictionary/bk_files.cc").unlink()
            code, text = self.run_main("--check", "--root", root)
            self.assertEqual(code, 1)
            self.assertIn("out of date: records/transaction_data.h", text)
            self.assertIn("out of date: framework/dictionary/bk_files.cc", text)
            self.assertNotIn("batch_data.h", text)


if __name__ == "__main__":
    unittest.main()
