#pragma once
// Constraint definitions (PRIMARY KEY, UNIQUE, NOT NULL, CHECK) and their
// list, whose stored form leads each definition with its kind.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/schema/QXLMetaObjectDef.h"

namespace qxl {

class TQXLVariant;

enum TQXLConstraintType : std::uint8_t { ctPK = 0, ctFK = 1, ctUnique = 2, ctNotNull = 3, ctCheck = 4 };

class TQXLConstraintDef : public TQXLMetaObjectDef {
public:
  explicit TQXLConstraintDef(TQXLConstraintType Type) : ConstraintType(Type) {}

  // Copies the header and the kind; each kind adds its own fields.
  void Assign(const TQXLMetaObjectDef& Source) override;

  TQXLConstraintType ConstraintType;
};

// The table that a constraint of any stored kind belongs to.
class TQXLTableConstraintDef : public TQXLConstraintDef {
public:
  std::string TableSchemaName;
  std::int32_t TableSchemaObjectID = -1;
  std::string TableName;
  std::int32_t TableObjectID = -1;

protected:
  using TQXLConstraintDef::TQXLConstraintDef;
  void AssignTable(const TQXLTableConstraintDef& Source);
};

// What NOT NULL and CHECK share: the table and the column they constrain.
// Their stored names are prefixed with a byte holding the length plus one,
// so a name of these records holds at most 254 bytes.
class TQXLColumnConstraintDef : public TQXLTableConstraintDef {
public:
  static constexpr std::size_t MaxNameLength = 254;

  using TQXLTableConstraintDef::TQXLTableConstraintDef;
  void Assign(const TQXLMetaObjectDef& Source) override;
  void LoadFromStream(TQXLStream& Stream) override;
  void SaveToStream(TQXLStream& Stream) const override;

  // Column and table name cut to 254 stored bytes (so that they can be
  // stored), and the definition's schema name cut to 255.
  void SetNames(const std::string& ColumnName_, const std::string& TableName_, const std::string& SchemaName_);

  std::string ColumnName;
  std::int32_t ColumnObjectID = -1;

private:
  // Write and read codes of the nine stored fields, in stored order.
  const std::int32_t* WriteCodes() const;
  const std::int32_t* ReadCodes() const;
};

class TQXLConstraintDefNotNull : public TQXLColumnConstraintDef {
public:
  TQXLConstraintDefNotNull() : TQXLColumnConstraintDef(ctNotNull) {}
};

class TQXLConstraintDefCheck : public TQXLColumnConstraintDef {
public:
  TQXLConstraintDefCheck();
  ~TQXLConstraintDefCheck() override;

  void Assign(const TQXLMetaObjectDef& Source) override;
  void LoadFromStream(TQXLStream& Stream) override;
  void SaveToStream(TQXLStream& Stream) const override;

  // The bounds that the column's values must keep; never null.
  std::unique_ptr<TQXLVariant> MinValue;
  std::unique_ptr<TQXLVariant> MaxValue;
};

struct TQXLConstraintColumn {
  std::string ColumnName;
  std::int32_t ColumnObjectID = -1;
};

class TQXLConstraintDefUnique : public TQXLTableConstraintDef {
public:
  TQXLConstraintDefUnique() : TQXLTableConstraintDef(ctUnique) {}

  void Assign(const TQXLMetaObjectDef& Source) override;
  void LoadFromStream(TQXLStream& Stream) override;
  void SaveToStream(TQXLStream& Stream) const override;

  std::string IndexName;
  std::int32_t IndexObjectID = -1;
  std::vector<TQXLConstraintColumn> Columns;

protected:
  explicit TQXLConstraintDefUnique(TQXLConstraintType Type) : TQXLTableConstraintDef(Type) {}
};

class TQXLConstraintDefPrimary : public TQXLConstraintDefUnique {
public:
  TQXLConstraintDefPrimary() : TQXLConstraintDefUnique(ctPK) {}
};

class TQXLConstraintDefs : public TQXLMetaObjectDefs {
public:
  TQXLConstraintDef* GetDef(std::int32_t Index) const {
    return static_cast<TQXLConstraintDef*>(TQXLMetaObjectDefs::GetDef(Index));
  }
  void SetDef(std::int32_t Index, std::unique_ptr<TQXLConstraintDef> Value) {
    TQXLMetaObjectDefs::SetDef(Index, std::move(Value));
  }
  TQXLConstraintDefNotNull* AddNotNull() { return Add<TQXLConstraintDefNotNull>(); }
  TQXLConstraintDefCheck* AddCheck() { return Add<TQXLConstraintDefCheck>(); }
  TQXLConstraintDefPrimary* AddPK() { return Add<TQXLConstraintDefPrimary>(); }
  TQXLConstraintDefUnique* AddUnique() { return Add<TQXLConstraintDefUnique>(); }

  // Each definition is read after its kind byte and appended before it is read.
  void LoadFromStream(TQXLStream& Stream) override;
  void SaveToStream(TQXLStream& Stream) const override;
  // Copies by kind; a kind without definition class raises 30035.
  void Assign(const TQXLMetaObjectDefs& Source) override;

protected:
  const char* ClassName() const override { return "TQXLConstraintDefs"; }
  void CheckKind(const TQXLMetaObjectDef* Def) const override;

private:
  template <typename T>
  T* Add() {
    auto def = std::make_unique<T>();
    T* p = def.get();
    AddDef(std::move(def));
    return p;
  }
  // A new definition of a stored kind, or nullptr.
  static std::unique_ptr<TQXLConstraintDef> NewOfKind(std::uint8_t Kind);
};

}  // namespace qxl
