// Shared set-up for the engine tests: a private temporary folder per test,
// the two tables of the program (records and catalog names) with their tags,
// and small readers for the bytes of the files the engine writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "xbase.h"

namespace xbtest {

// One record of the records table, as the program fills it.
struct Rec {
  std::string catalog;
  std::string title;
  std::string name;
  std::string size;
  std::string date;
  std::string desc;
};

// Byte-level readers of a file image.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
uint32_t Le32(const std::string& b, size_t at);
uint16_t Le16(const std::string& b, size_t at);
uint32_t Be32(const std::string& b, size_t at);
uint16_t Be16(const std::string& b, size_t at);

// Runs `body` and returns the engine error it throws; fails the test (and
// returns an Error with code Usage and an empty message) when it throws
// nothing or something else.
xbase::Error CatchError(const std::function<void()>& body);

// A text of `bytes` bytes with varied content (digits, letters, line breaks).
std::string LongText(size_t bytes);

class XbaseTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::string& Folder() const { return folder_; }
  std::string RecordsPath() const { return folder_ + "/VTLDataA.dbf"; }
  std::string CatalogsPath() const { return folder_ + "/VTLCa.dbf"; }

  // The records table VTLDataA.dbf with tag CatFlTl in VTLDataA.nsx.
  void MakeRecordsTable();
  // The catalog-names table VTLCa.dbf with the unique tag CtLg in VTLCa.nsx.
  void MakeCatalogTable();

  // An open cursor on the records table (default: tag CatFlTl, shared).
  std::unique_ptr<xbase::Table> OpenRecords(const std::string& tag = "CatFlTl",
                                            bool exclusive = false);
  std::unique_ptr<xbase::Table> OpenRecordsIn(xbase::Environment& env,
                                              const std::string& tag = "CatFlTl",
                                              bool exclusive = false);
  std::unique_ptr<xbase::Table> OpenCatalogs(const std::string& tag = "CtLg",
                                             bool exclusive = false);

  // Appends and posts one record; the record stays current.
  static void Add(xbase::Table& t, const Rec& r);
  static void AddCatalog(xbase::Table& t, const std::string& name);
  // Adds records through a cursor of its own and closes it.
  void AddRecords(const std::vector<Rec>& recs);

  // The field of every visible record, First to Eof.
  static std::vector<std::string> Column(xbase::Table& t, const std::string& field);
  // "catalog/title" of every visible record, First to Eof.
  static std::vector<std::string> Keys(xbase::Table& t);

  xbase::Environment env_;

 private:
  std::string folder_;
};

}  // namespace xbtest
