// Prints one table of an Access file as mdb-reader reads it: fields separated
// by 0x1F, rows by 0x1E, Null as 0x01; dates as "YYYY-MM-DD hh:mm:ss",
// Yes/No as 1/0. Usage: node export-table.mjs FILE TABLE
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const [file, name] = process.argv.slice(2);
const table = new MDBReader(readFileSync(file)).getTable(name);
const text = (v) =>
  v === null || v === undefined ? "\x01"
  : v instanceof Date ? v.toISOString().slice(0, 19).replace("T", " ")
  : typeof v === "boolean" ? (v ? "1" : "0")
  : String(v);
const rows = table.getData().map((row) => table.getColumnNames().map((c) => text(row[c])).join("\x1f"));
process.stdout.write(rows.join("\x1e"));
