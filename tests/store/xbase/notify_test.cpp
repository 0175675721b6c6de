// Notifications to the data-aware side: data changes on moves, posts and
// re-reads, state changes, and both held back while controls are disabled.
#include "xbase_fixture.h"

namespace {

using namespace xbtest;
using xbase::State;

class NotifyTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
    AddRecords({{"A", "one", "", "", "", ""},
                {"A", "two", "", "", "", ""},
                {"A", "three", "", "", "", ""}});
    t_ = OpenRecords();
    t_->OnDataChange = [this](const std::string& field) {
      if (field.empty())
        ++recordChanges_;
      else
        fieldChanges_.push_back(field);
    };
    t_->OnStateChange = [this] { states_.push_back(t_->GetState()); };
  }
  void TearDown() override {
    t_->OnDataChange = nullptr;
    t_->OnStateChange = nullptr;
    t_.reset();
    XbaseTest::TearDown();
  }
  void Reset() {
    recordChanges_ = 0;
    fieldChanges_.clear();
    states_.clear();
  }

  std::unique_ptr<xbase::Table> t_;
  int recordChanges_ = 0;
  std::vector<std::string> fieldChanges_;
  std::vector<State> states_;
};

TEST_F(NotifyTest, MovesTellTheDataSide) {
  t_->First();
  Reset();
  t_->Next();
  EXPECT_GE(recordChanges_, 1);
  Reset();
  t_->Last();
  EXPECT_GE(recordChanges_, 1);
  Reset();
  ASSERT_TRUE(t_->Locate("FLTITLE", "one"));
  EXPECT_GE(recordChanges_, 1);
  Reset();
  t_->Refresh();
  EXPECT_GE(recordChanges_, 1);
  EXPECT_TRUE(states_.empty()) << "moving does not change the state";
}

TEST_F(NotifyTest, EditingTellsStateAndFieldChanges) {
  t_->First();
  Reset();
  t_->Edit();
  EXPECT_EQ(states_, (std::vector<State>{State::Edit}));
  t_->SetFieldByName("fltitle", "uno");
  ASSERT_EQ(fieldChanges_.size(), 1u);
  EXPECT_EQ(xbase::Utf8Upper(fieldChanges_[0]), "FLTITLE");
  Reset();
  t_->Post();
  EXPECT_EQ(states_, (std::vector<State>{State::Browse}));
  EXPECT_GE(recordChanges_, 1) << "a post re-shows the record";

  Reset();
  t_->Append();
  EXPECT_EQ(states_, (std::vector<State>{State::Insert}));
  t_->Cancel();
  EXPECT_EQ(states_, (std::vector<State>{State::Insert, State::Browse}));

  Reset();
  t_->Close();
  EXPECT_EQ(states_, (std::vector<State>{State::Inactive}));
  t_->Open();
  EXPECT_EQ(states_, (std::vector<State>{State::Inactive, State::Browse}));
}

TEST_F(NotifyTest, DisabledControlsHearNothingUntilTheLastEnable) {
  t_->First();
  Reset();
  t_->DisableControls();
  EXPECT_TRUE(t_->ControlsDisabled());
  t_->DisableControls();  // nests
  t_->Next();
  t_->Next();
  t_->Edit();
  t_->SetFieldByName("FLSIZE", "1");
  t_->Post();
  t_->Prior();
  EXPECT_EQ(recordChanges_, 0);
  EXPECT_TRUE(fieldChanges_.empty());
  EXPECT_TRUE(states_.empty());

  t_->EnableControls();
  EXPECT_TRUE(t_->ControlsDisabled());
  EXPECT_EQ(recordChanges_, 0) << "still one level disabled";
  t_->EnableControls();
  EXPECT_FALSE(t_->ControlsDisabled());
  EXPECT_EQ(recordChanges_, 1) << "one data change at the end";

  Reset();
  t_->Next();
  EXPECT_GE(recordChanges_, 1) << "notifications flow again";
}

TEST_F(NotifyTest, StateChangedWhileDisabledIsToldAtTheEnd) {
  // The data-aware side must not be left showing Browse while the table
  // sits in Edit.
  t_->First();
  Reset();
  t_->DisableControls();
  t_->Edit();
  EXPECT_TRUE(states_.empty());
  t_->EnableControls();
  EXPECT_EQ(states_, (std::vector<State>{State::Edit}));
  EXPECT_EQ(recordChanges_, 1);
  t_->Cancel();
}

TEST_F(NotifyTest, EnableWithoutAMoveStillSendsOneDataChange) {
  t_->DisableControls();
  t_->EnableControls();
  EXPECT_EQ(recordChanges_, 1);
}

}  // namespace
