"""Rewrites a transitional package into Strict Open XML: the SpreadsheetML
and relationship namespaces (and relationship types) of the purl.oclc.org
family, conformance="strict" on the workbook. Usage: makestrict.py IN OUT"""
import sys
import zipfile

T_MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
S_MAIN = "http://purl.oclc.org/ooxml/spreadsheetml/main"
T_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
S_REL = "http://purl.oclc.org/ooxml/officeDocument/relationships"

with zipfile.ZipFile(sys.argv[1]) as zin, zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as zout:
    for info in zin.infolist():
        data = zin.read(info.filename)
        if info.filename.endswith((".xml", ".rels")):
            text = data.decode("utf-8").replace(T_MAIN, S_MAIN).replace(T_REL, S_REL)
            if info.filename == "xl/workbook.xml":
                i = text.index("<workbook") + len("<workbook")
                text = text[:i] + ' conformance="strict"' + text[i:]
            data = text.encode("utf-8")
        zout.writestr(info, data)
