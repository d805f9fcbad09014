#pragma once
// Writing a value an SQL statement computed into a field of a table
// component, so that the field's own conversion, constraints and BLOB
// handling apply as for a program that edits the table.
//
// Threads: no state; used by the thread that runs the statement.
namespace qxl {

class TField;
class TQXLVariant;

// No value at all raises 30359; NULL clears the field; text goes into a
// BLOB or memo field as its text (wide or 8-bit), another value as its raw
// bytes; every other field takes the value converted to its type, a value
// that does not convert raising an error that names the field.
void StoreValueInField(const TQXLVariant* Value, TField& Field);
// Source's value stored into Dest as above, BLOB text going over as text.
void CopyFieldValueInto(const TField& Source, TField& Dest);

}  // namespace qxl
