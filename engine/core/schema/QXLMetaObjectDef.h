#pragma once
// The base of schema definitions (fields, indexes, constraints) and of their
// ordered, owning lists, with lookups and the lists' stored form.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qxl {

class TQXLStream;

class TQXLMetaObjectDef {
public:
  virtual ~TQXLMetaObjectDef() = default;

  // Copies the name, object ID, schema name and schema ID.
  virtual void Assign(const TQXLMetaObjectDef& Source);
  // The header: the name and the object ID.
  virtual void LoadFromStream(TQXLStream& Stream);
  virtual void SaveToStream(TQXLStream& Stream) const;

  std::string Name;  // at most 255 bytes in its stored form
  std::int32_t ObjectID = -1;
  std::string SchemaName;  // not stored
  std::int32_t SchemaID = -1;  // not stored
};

class TQXLMetaObjectDefs {
public:
  TQXLMetaObjectDefs() = default;
  virtual ~TQXLMetaObjectDefs() = default;
  TQXLMetaObjectDefs(const TQXLMetaObjectDefs&) = delete;
  TQXLMetaObjectDefs& operator=(const TQXLMetaObjectDefs&) = delete;

  virtual std::int32_t GetCount() const { return static_cast<std::int32_t>(FItems.size()); }
  std::int32_t Count() const { return GetCount(); }
  // Appends Def and returns its position.
  virtual std::int32_t AddDef(std::unique_ptr<TQXLMetaObjectDef> Def);
  // Appends an empty definition of the list's own kind.
  virtual TQXLMetaObjectDef* InternalAddCreated();
  virtual void LoadFromStream(TQXLStream& Stream);
  virtual void SaveToStream(TQXLStream& Stream) const;
  // Copies of Source's definitions; a name met twice raises 10424.
  virtual void Assign(const TQXLMetaObjectDefs& Source);
  virtual void Delete(std::int32_t Index);
  virtual void Insert(std::int32_t Index, std::unique_ptr<TQXLMetaObjectDef> Def);
  virtual void Move(std::int32_t CurIndex, std::int32_t NewIndex);
  virtual void Clear() { FItems.clear(); }

  TQXLMetaObjectDef* GetDef(std::int32_t Index) const;
  // Frees the definition at Index and puts Value there.
  void SetDef(std::int32_t Index, std::unique_ptr<TQXLMetaObjectDef> Value);
  // Names compare after the locale's full upper-case mapping; the first wins.
  std::int32_t GetDefNumberByName(std::string_view Name) const;
  TQXLMetaObjectDef* GetDefByName(std::string_view Name) const;
  std::int32_t GetDefNumberByObjectId(std::int32_t ID) const;
  TQXLMetaObjectDef* GetDefByObjectId(std::int32_t ID) const;

  // The count read by the last LoadFromStream.
  std::int32_t FLoadedItemCount = 0;

protected:
  // The class name that errors report.
  virtual const char* ClassName() const { return "TQXLMetaObjectDefs"; }
  // A new, unlisted definition of the list's kind (nullptr in the base list).
  virtual std::unique_ptr<TQXLMetaObjectDef> NewDef() const { return nullptr; }
  // NewDef, or 30339 for a list without a kind of its own.
  std::unique_ptr<TQXLMetaObjectDef> CreatedDef() const;
  // Raises the invalid-cast error unless Def is a definition of the list's kind.
  virtual void CheckKind(const TQXLMetaObjectDef* Def) const;
  // The count that leads the stored list, with its write code.
  virtual void SaveCount(TQXLStream& Stream) const;
  virtual bool IsStored(const TQXLMetaObjectDef&) const { return true; }

  std::vector<std::unique_ptr<TQXLMetaObjectDef>> FItems;
};

}  // namespace qxl
