// bkData, bkColumnsContainer: defining and binding the columns of a record,
// with the column tables of each record class built once and shared.
#include "records/bk_data.h"

#include <mutex>
#include <typeindex>
#include <unordered_map>

#include "framework/base/application.h"
#include "framework/types/ts_alpha.h"

namespace {

const tsColumnTable& NoColumns() {
  static const tsColumnTable kNone;
  return kNone;
}

}  // namespace

// The tables of one record class: the columns it defines, and its binding
// for each column list used so far ("" in `all`).
struct bkData::Shape {
  std::unique_ptr<tsColumnTable> defined;
  std::unique_ptr<tsColumnTable> all;
  std::vector<std::string> key_names;
  mutable std::unordered_map<std::string, std::unique_ptr<tsColumnTable>> lists;  // guarded by ShapeMutex()

  // The binding of `list`: its names in list order, those the class defines.
  std::unique_ptr<tsColumnTable> Build(const std::string& list) const {
    auto t = std::make_unique<tsColumnTable>();
    if (list.empty()) {
      for (size_t i = 0; i < defined->size(); ++i) t->Add(defined->Sorted(i).name, defined->Sorted(i).offset);
    } else {
      for (const auto& name : tsSplitNames(list, ';')) {
        const int i = defined->Index(name);
        if (i >= 0) t->Add(name, (*defined)[static_cast<size_t>(i)].offset);
      }
    }
    t->SetKeyColumns(key_names);
    return t;
  }
};

namespace {

// Shapes live as long as the program (records may outlive any static), so
// the registry is never destroyed.
std::mutex& ShapeMutex() {
  static auto* m = new std::mutex;
  return *m;
}

template <typename Shape>
std::unordered_map<std::type_index, std::unique_ptr<Shape>>& Shapes() {
  static auto* shapes = new std::unordered_map<std::type_index, std::unique_ptr<Shape>>;
  return *shapes;
}

}  // namespace

// ---- bkColumnsContainer

bkColumnsContainer::bkColumnsContainer(bkData* owner) : owner_(owner), table_(&NoColumns()) {}

uintptr_t bkColumnsContainer::Anchor() const {
  return reinterpret_cast<uintptr_t>(static_cast<const ccRecData*>(owner_));
}

tsColumnTable& bkColumnsContainer::OwnTable() {
  if (!own_) {
    own_ = std::make_unique<tsColumnTable>(*table_);
    table_ = own_.get();
  }
  return *own_;
}

void bkColumnsContainer::CreateColumn(const CString& name, tsData* field) {
  OwnTable().Add(name, tsColumnTable::OffsetOf(Anchor(), field));
}

void bkColumnsContainer::AddColumn(const CString& name) {
  if (tsData* field = Lookup(name)) owner_->AddColumn(name, field);
}

void bkColumnsContainer::AddAllColumnsInContainer() {
  for (size_t i = 0; i < table_->size(); ++i) {
    const tsColumnTable::Entry& e = table_->Sorted(i);
    owner_->AddColumn(e.name, tsColumnTable::FieldAt(Anchor(), e.offset));
  }
}

tsData* bkColumnsContainer::Lookup(const CString& name) const {
  const int i = table_->Index(name);
  return i < 0 ? nullptr : tsColumnTable::FieldAt(Anchor(), (*table_)[static_cast<size_t>(i)].offset);
}

void bkColumnsContainer::SetColumn(const CString& name, const tsData* value) {
  tsData* field = Lookup(name);
  if (field && value) field->SetVal(*value);
}

void bkColumnsContainer::Clear() {
  own_.reset();
  table_ = &NoColumns();
}

void bkColumnsContainer::Share(const tsColumnTable* table) {
  own_.reset();
  table_ = table;
}

std::unique_ptr<tsColumnTable> bkColumnsContainer::Release() { return std::move(own_); }

// ---- bkData

bkData::bkData(CString file_code, short record_type, CString key_columns, CString column_list)
    : ccRecData(std::move(file_code), record_type, std::move(key_columns)),
      column_list_(std::move(column_list)),
      columns_(this) {}

bkData::bkData(CString file_code, short record_type, CString column_list)
    : bkData(std::move(file_code), record_type, CString(), std::move(column_list)) {}

bkData::bkData(const ccRecData& other) : ccRecData(other), columns_(this) {}

bkData::bkData(const bkData& other) : bkData(static_cast<const ccRecData&>(other)) {}

bkData::~bkData() = default;

void bkData::DefineColumns() { TSGetApp()->Message("Default bkData::DefineColumns called."); }

void bkData::AddColumns() {
  const bool pristine = columns_.Empty() && !columns_.own_ && BoundTable().empty();
  if (!pristine) {
    // A record that has defined or bound columns already: define again and
    // bind by name, into tables of its own.
    DefineColumns();
    if (column_list_.empty()) {
      columns_.AddAllColumnsInContainer();
      return;
    }
    for (const auto& name : tsSplitNames(column_list_, ';')) columns_.AddColumn(name);
    return;
  }

  // Records of one class are looked up by their dynamic type, which within
  // a constructor is the class whose DefineColumns runs. Each thread keeps
  // the tables it has met, so a look-up takes no lock.
  struct Seen {
    const Shape* shape;
    std::unordered_map<std::string, const tsColumnTable*> lists;
    std::string last_list;  // the list met last (key classes always use the same one)
    const tsColumnTable* last_bound = nullptr;
  };
  thread_local std::unordered_map<const std::type_info*, Seen> seen;
  const std::type_info& type = typeid(*this);
  auto it = seen.find(&type);
  if (it == seen.end()) {
    const Shape* shape = nullptr;
    {
      std::lock_guard<std::mutex> lock(ShapeMutex());
      auto& shapes = Shapes<Shape>();
      if (auto found = shapes.find(std::type_index(type)); found != shapes.end()) shape = found->second.get();
    }
    if (!shape) {
      DefineColumns();
      if (columns_.Empty()) return;  // the class defines nothing: nothing to share
      auto made = std::make_unique<Shape>();
      made->defined = columns_.Release();
      made->key_names = KeyColumnNames();
      made->all = made->Build("");
      std::lock_guard<std::mutex> lock(ShapeMutex());
      auto& slot = Shapes<Shape>()[std::type_index(type)];
      if (!slot) slot = std::move(made);  // else another thread was first: use its tables
      shape = slot.get();
    }
    it = seen.emplace(&type, Seen{shape, {}, {}, nullptr}).first;
  }
  const Shape* shape = it->second.shape;

  columns_.Share(shape->defined.get());
  const tsColumnTable* bound = shape->all.get();
  if (!column_list_.empty()) {
    Seen& seen_here = it->second;
    if (seen_here.last_bound && seen_here.last_list == column_list_) {
      bound = seen_here.last_bound;
    } else {
      auto& mine = seen_here.lists[column_list_];
      if (!mine) {
        std::lock_guard<std::mutex> lock(ShapeMutex());
        auto& list = shape->lists[column_list_];
        if (!list) list = shape->Build(column_list_);
        mine = list.get();
      }
      bound = mine;
      seen_here.last_list = column_list_;
      seen_here.last_bound = mine;
    }
  }
  BindTable(bound);
  shape_ = shape;
}

bool bkData::BindsAllLike(const bkData& other) const {
  return shape_ && shape_ == other.shape_ && &BoundTable() == &other.BoundTable() &&
         BoundTable().size() == shape_->defined->size() && BindsOwnFields() && other.BindsOwnFields();
}

const tsData& bkData::GetColumn(const CString& name) const {
  static const tsAlpha kUndefinedColumn;
  const tsData* field = columns_.Lookup(name);
  return field ? *field : kUndefinedColumn;
}
