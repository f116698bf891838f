// Prints every table of an Access file, system tables included, as one JSON
// line per row, read by the mdb-reader package. Comparing the output for a
// database and its compacted copy shows whether this independent reader sees
// the same content. Object ids, which follow table definitions when these move, are
// printed as the name and type of the object MSysObjects gives them (or as naming
// none, which a compaction may mark differently), so that a permission row compares by the object it
// belongs to. Rows are printed sorted within each table: this reader
// meets a relocated (overflowed) row where its body lies, not where the row
// belongs, so only the set of rows is comparable across a compaction. A table
// the package cannot read is printed with its error, which must then match too.
// Columns named as TABLE.COLUMN after the file are printed as "(skipped)": this
// reader shows a calculated column's stored bytes, which hold a long value's
// position when the value is long.
// Usage: node dump-rows.mjs FILE [TABLE.COLUMN...]
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const file = process.argv[2];
if (!file) {
  console.error("usage: node dump-rows.mjs FILE");
  process.exit(2);
}

function plain(value) {
  if (value === null || value === undefined) return null;
  if (Buffer.isBuffer(value)) return "0x" + value.toString("hex");
  if (value instanceof Date) return value.toISOString();
  if (typeof value === "bigint") return value.toString();
  return value;
}

const skipped = new Set(process.argv.slice(3));
const reader = new MDBReader(readFileSync(file));
const idColumns = {
  MSysObjects: ["Id"], MSysACEs: ["ObjectId"], MSysNavPaneObjectIDs: ["Id"], MSysNavPaneGroupToObjects: ["ObjectID"],
  MSysNavPaneGroups: ["ObjectID"], MSysNavPaneGroupCategories: ["SelectedObjectID"],
  MSysComplexColumns: ["ComplexTypeObjectID", "FlatTableID", "ConceptualTableID"],
};
const objects = new Map();
for (const o of reader.getTable("MSysObjects").getData()) objects.set(o.Id, `${o.Name} (type ${o.Type})`);
const byName = (table, column, value) =>
  !idColumns[table]?.includes(column) || !value ? value : objects.has(value) ? objects.get(value) : "(no object)";
const names = reader.getTableNames({ normalTables: true, systemTables: true, linkedTables: false });
for (const name of [...names].sort()) {
  try {
    const table = reader.getTable(name);
    const columns = table.getColumnNames();
    const rows = table.getData().map((row) => JSON.stringify(columns.map((c) => (skipped.has(`${name}.${c}`) ? "(skipped)" : plain(byName(name, c, row[c]))))));
    rows.sort();
    console.log(JSON.stringify({ table: name, columns, rows: rows.length }));
    for (const line of rows) console.log(line);
  } catch (error) {
    console.log(JSON.stringify({ table: name, error: String(error.message) }));
  }
}
