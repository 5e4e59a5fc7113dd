// What a station keeps from one driver operation to the next, seen from
// another station: nothing it keeps may hide a change made meanwhile.
//   - Slots read ahead by a reader of pages live for one page (one hold of
//     the file): the next page sees what another station changed between.
//   - Inside its own transaction a station keeps its headers in memory from
//     one operation to the next; every other station waits for the
//     transaction to end, and afterwards both see each other's records.
//     That wait rests on the transaction's log, which a COMMIT before
//     must not take away from it.  The key nodes it keeps meanwhile go
//     with the transaction, and a station opening the register meanwhile
//     waits for its commit before it judges the header.
// Each station is a real zuna_station process, stepped through pipes.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/station_client.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace zuna::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class KeptStateStationTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.File("ZUN"); }

  // Records 1..count named P01, P02 ... with DATA 60001, 60002 ...
  void MakeRegister(int count) {
    StationClient maker;
    ASSERT_EQ(maker.Code("create " + Path()), 0);
    ASSERT_EQ(maker.Code("open " + Path() + " 0x12"), 0);
    for (int i = 1; i <= count; ++i) {
      ASSERT_EQ(maker.Code("add " + Name(i) + " " + std::to_string(60000 + i)), 0);
    }
    ASSERT_EQ(maker.Code("close"), 0);
  }

  // Each station opens the register shared.
  void ShareAll(std::initializer_list<StationClient*> stations) {
    for (StationClient* station : stations) {
      ASSERT_EQ(station->Code("share " + Path()), 0);
    }
  }

  // LOGOUT and STREAM: the transaction of a bulk load.
  static void BeginStreamed(StationClient& station) {
    ASSERT_EQ(station.Code("logout"), 0);
    ASSERT_EQ(station.Code("stream"), 0);
  }

  // The station has stopped where its --pause-at option said.
  static void ExpectPaused(StationClient& station) {
    std::string line;
    ASSERT_TRUE(station.ReadLine(&line, seconds(10)));
    ASSERT_EQ(line, "paused");
  }

  static std::string Name(int i) {
    return (i < 10 ? "P0" : "P") + std::to_string(i);
  }

  void ExpectCheckPasses() {
    const ProgramResult r = RunProgram(BinPath("zunatool"), {"check", Path()});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  }

  TempDir dir_;
};

// A reader of pages in record order reads slots ahead in runs; between two
// of its pages another station changes, deletes and adds records inside
// the run already read, and the reader's next pages show every change.
TEST_F(KeptStateStationTest, APageReaderSeesChangesMadeBetweenItsPages) {
  MakeRegister(40);
  StationClient reader;
  StationClient writer;
  ASSERT_EQ(reader.Code("open " + Path() + " 0x40"), 0);
  ASSERT_EQ(writer.Code("share " + Path()), 0);
  ASSERT_EQ(reader.Code("set"), 0);
  ASSERT_EQ(reader.Ask("page 3").line,
            "0 1 P01 60001 2 P02 60002 3 P03 60003");

  ASSERT_EQ(writer.Ask("get 5").line, "0 5 P05 60005");
  ASSERT_EQ(writer.Code("put Changed 70005"), 0);
  ASSERT_EQ(writer.Ask("get 6").line, "0 6 P06 60006");
  ASSERT_EQ(writer.Code("delete"), 0);
  EXPECT_EQ(reader.Ask("page 3").line,
            "0 4 P04 60004 5 Changed 70005 7 P07 60007");

  // Again inside a run already read, and past the end the reader met (the
  // register reclaims: the first add takes the deleted slot back).
  ASSERT_EQ(writer.Ask("get 9").line, "0 9 P09 60009");
  ASSERT_EQ(writer.Code("put Again 70009"), 0);
  ASSERT_EQ(writer.Ask("add Late 70006").line, "0 6");
  ASSERT_EQ(writer.Ask("add Later 70041").line, "0 41");
  EXPECT_EQ(reader.Ask("page 2").line, "0 8 P08 60008 9 Again 70009");
  ASSERT_EQ(reader.Code("page 31"), 0);
  EXPECT_EQ(reader.Ask("next").line, "0 41 Later 70041");
  EXPECT_EQ(reader.Code("next"), 33);
  EXPECT_EQ(reader.Code("close"), 0);
  EXPECT_EQ(writer.Code("close"), 0);
  ExpectCheckPasses();
}

// A station inside its transaction adds records without reading the
// headers again, under STREAM leaving their key entries for its FLUSH;
// another station's add and a third one's search by name wait for the
// transaction, and after the commit each station's next add finds the
// other's record, and the search finds the record by its entry.
TEST_F(KeptStateStationTest, AnotherStationWaitsForATransactionAndSeesItAfter) {
  MakeRegister(1);
  StationClient a;
  StationClient b;
  StationClient c;
  ASSERT_NO_FATAL_FAILURE(ShareAll({&a, &b, &c}));
  ASSERT_NO_FATAL_FAILURE(BeginStreamed(a));
  ASSERT_EQ(a.Ask("add InA1 70002").line, "0 2");

  ASSERT_TRUE(b.Send("add InB 70099"));
  ASSERT_TRUE(c.Send("getname InA1"));
  EXPECT_FALSE(b.Receive(milliseconds(400)).answered)
      << "a station wrote into another's transaction";
  EXPECT_FALSE(c.Receive(milliseconds(10)).answered)
      << "a station read another's transaction half made";
  ASSERT_EQ(a.Ask("add InA2 70003").line, "0 3");
  ASSERT_EQ(a.Code("flush"), 0);
  ASSERT_EQ(a.Code("commit"), 0);

  const StationReply waited = b.Receive(seconds(10));
  ASSERT_TRUE(waited.answered);
  EXPECT_EQ(waited.line, "0 4");
  const StationReply searched = c.Receive(seconds(10));
  ASSERT_TRUE(searched.answered);
  EXPECT_EQ(searched.line, "0 2 InA1 70002");
  EXPECT_EQ(c.Code("close"), 0);
  EXPECT_EQ(a.Ask("add AfterA 70005").line, "0 5");
  EXPECT_EQ(b.Ask("records").line, "0 5");
  EXPECT_EQ(a.Ask("getname InB").line, "0 4 InB 70099");
  EXPECT_EQ(b.Ask("getname InA2").line, "0 3 InA2 70003");
  EXPECT_EQ(a.Code("close"), 0);
  EXPECT_EQ(b.Code("close"), 0);
  ExpectCheckPasses();
}

// Inside its transaction a station keeps the key nodes it reads and writes
// from one operation to the next (a cache as large as the key).  Between
// two of its transactions another station renames, adds and deletes; the
// second transaction reads every key afresh, so it finds each change, and
// its own add goes where the other station left room.
TEST_F(KeptStateStationTest, ATransactionsKeyNodesDoNotOutliveIt) {
  MakeRegister(3);
  StationClient a;
  StationClient b;
  ASSERT_NO_FATAL_FAILURE(ShareAll({&a, &b}));
  ASSERT_NO_FATAL_FAILURE(BeginStreamed(a));
  ASSERT_EQ(a.Ask("add InA1 70010").line, "0 4");
  ASSERT_EQ(a.Ask("getname P02").line, "0 2 P02 60002");
  ASSERT_EQ(a.Ask("getname P03").line, "0 3 P03 60003");
  ASSERT_EQ(a.Code("flush"), 0);
  ASSERT_EQ(a.Code("commit"), 0);

  ASSERT_EQ(b.Ask("getname P02").line, "0 2 P02 60002");
  ASSERT_EQ(b.Code("put Renamed 70020"), 0);
  ASSERT_EQ(b.Ask("add InB 70030").line, "0 5");
  ASSERT_EQ(b.Ask("getname P03").line, "0 3 P03 60003");
  ASSERT_EQ(b.Code("delete"), 0);

  ASSERT_NO_FATAL_FAILURE(BeginStreamed(a));
  EXPECT_EQ(a.Code("getname P02"), 35);
  EXPECT_EQ(a.Code("getname P03"), 35);
  EXPECT_EQ(a.Ask("getname Renamed").line, "0 2 Renamed 70020");
  EXPECT_EQ(a.Ask("getname InB").line, "0 5 InB 70030");
  EXPECT_EQ(a.Ask("add InA2 70040").line, "0 3");
  EXPECT_EQ(a.Ask("getname InA2").line, "0 3 InA2 70040");
  ASSERT_EQ(a.Code("flush"), 0);
  ASSERT_EQ(a.Code("commit"), 0);
  EXPECT_EQ(b.Ask("dump").line,
            "0 5 1:P01:60001 2:Renamed:70020 3:InA2:70040 "
            "4:InA1:70010 5:InB:70030");
  EXPECT_EQ(a.Code("close"), 0);
  EXPECT_EQ(b.Code("close"), 0);
  ExpectCheckPasses();
}

// A station opening the register while another's transaction is half way
// through writing a batch -- the header with the new count written, the
// slot it counts not yet -- waits for that transaction (the header it
// first reads, without the lock byte, is not judged), then finds every
// record.
TEST_F(KeptStateStationTest, AnOpenWaitsForATransactionHalfWritten) {
  MakeRegister(1);
  StationClient writer({"--pause-at-write"});
  ASSERT_NO_FATAL_FAILURE(ShareAll({&writer}));
  ASSERT_EQ(writer.Code("logout"), 0);
  ASSERT_TRUE(writer.Send("add Late 70002"));
  ASSERT_NO_FATAL_FAILURE(ExpectPaused(writer));

  StationClient opener;
  ASSERT_TRUE(opener.Send("share " + Path()));
  EXPECT_FALSE(opener.Receive(milliseconds(400)).answered)
      << "an open went ahead of another station's transaction";
  ASSERT_TRUE(writer.Send("go on"));
  ASSERT_EQ(writer.Receive(seconds(10)).line, "0 2");
  ASSERT_EQ(writer.Ask("add Later 70003").line, "0 3");
  EXPECT_FALSE(opener.Receive(milliseconds(200)).answered)
      << "an open went ahead of another station's transaction";
  ASSERT_EQ(writer.Code("commit"), 0);
  const StationReply opened = opener.Receive(seconds(10));
  ASSERT_TRUE(opened.answered);
  EXPECT_EQ(opened.line, "0");
  EXPECT_EQ(opener.Ask("records").line, "0 3");
  EXPECT_EQ(opener.Code("close"), 0);
  EXPECT_EQ(writer.Code("close"), 0);
  ExpectCheckPasses();
}

// A COMMIT lets its log go only after the log's name is gone.  Were it the
// other way round, another station could meanwhile remove the name (its
// recovery finding the log let go after the commit point) and a third
// station's transaction take the name for its own log; the COMMIT removing
// its log by name would then take that log away, the other stations would
// no longer wait for the third one's transaction, and its commit would
// write over what they added meanwhile.
TEST_F(KeptStateStationTest, ACommitRemovesOnlyItsOwnLog) {
  MakeRegister(1);
  StationClient committer({"--pause-at-log-removed"});
  StationClient adder;
  StationClient importer;
  ASSERT_NO_FATAL_FAILURE(ShareAll({&committer, &adder, &importer}));
  ASSERT_EQ(committer.Code("logout"), 0);
  ASSERT_EQ(committer.Ask("add Committed 70002").line, "0 2");
  ASSERT_TRUE(committer.Send("commit"));
  ASSERT_NO_FATAL_FAILURE(ExpectPaused(committer));

  ASSERT_EQ(adder.Ask("add Between 70003").line, "0 3");
  ASSERT_NO_FATAL_FAILURE(BeginStreamed(importer));
  ASSERT_EQ(importer.Ask("add Imported 70004").line, "0 4");
  ASSERT_TRUE(committer.Send("go on"));
  ASSERT_EQ(committer.Receive(seconds(10)).line, "0");

  ASSERT_TRUE(adder.Send("add During 70099"));
  EXPECT_FALSE(adder.Receive(milliseconds(400)).answered)
      << "a station wrote into another's transaction";
  ASSERT_EQ(importer.Code("flush"), 0);
  ASSERT_EQ(importer.Code("commit"), 0);
  const StationReply waited = adder.Receive(seconds(10));
  ASSERT_TRUE(waited.answered);
  EXPECT_EQ(waited.line, "0 5");
  EXPECT_EQ(adder.Ask("dump").line,
            "0 5 1:P01:60001 2:Committed:70002 3:Between:70003 "
            "4:Imported:70004 5:During:70099");
  EXPECT_EQ(committer.Code("close"), 0);
  EXPECT_EQ(adder.Code("close"), 0);
  EXPECT_EQ(importer.Code("close"), 0);
  ExpectCheckPasses();
}

}  // namespace
}  // namespace zuna::testing
