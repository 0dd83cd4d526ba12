"""Reads an .xls file with xlrd and prints what the workbook writer's tests check, as JSON:

{"log": the warnings and notes xlrd reported while reading (empty for a clean file),
 "sheets": [{"name": ..., "rows": [[[cell type, value, number format], ...], ...],
             "columnFormats": {"0": number format of column A, ...}}]}
"""
import io
import json
import re
import sys

import xlrd


def number_format(book, xf_index):
    return book.format_map[book.xf_list[xf_index].format_key].format_str


def main(path):
    # Verbosity 1 adds consistency checks (e.g. of DIMENSIONS against the cells) and some
    # information lines; only the complaints are kept.
    log = io.StringIO()
    book = xlrd.open_workbook(path, formatting_info=True, ragged_rows=True, logfile=log, verbosity=1)
    complaints = "".join(line for line in log.getvalue().splitlines(keepends=True)
                         if re.search(r"\*\*\*|!!!|WARNING|ERROR", line))
    sheets = []
    for sheet in book.sheets():
        rows = [[[xlrd.sheet.ctype_text[cell.ctype], cell.value, number_format(book, cell.xf_index)]
                 for cell in sheet.row(r)]
                for r in range(sheet.nrows)]
        columns = {str(c): number_format(book, info.xf_index) for c, info in sheet.colinfo_map.items()}
        sheets.append({"name": sheet.name, "rows": rows, "columnFormats": columns})
    json.dump({"log": complaints, "sheets": sheets}, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1])
