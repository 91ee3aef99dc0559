// The state before a traced run: the registers read through the tracer's back
// end over the simulated controller, written as a card and loaded back.
#include "backend_reader.h"
#include "card.h"
#include "controller.h"
#include "engines.h"
#include "physmap.h"
#include "record_card.h"
#include "register_access.h"
#include "register_dump.h"
#include "register_text.h"
#include "scratch_dir.h"
#include "sim_backend.h"
#include "snapshot.h"
#include "synclock.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kova::registers::Reg;
using kova::sim::Controller;
using kova::sim::Event;

// States the reading is tried on: power-on; page registers in pages the
// reading does not use, with paged registers, TV registers and single ports
// set in the pages it does; what capview's sync lock (-s 3) leaves.
struct State {
    const char *name;
    std::vector<const char *> settings;
    bool sync_lock;
};
const State kStates[] = {
    {.name = "power-on", .settings = {}, .sync_lock = false},
    {.name = "pages elsewhere",
     .settings = {"GRFA=07", "GRBF=22", "GR4E@05=5A", "GRB1@02=C3", "GRE0@80=81", "SR4F@08=3C", "CR11=8E",
                  "TVE47C=1234", "TVE532=BEEF", "P03C6=0F", "P03CC=E3"},
     .sync_lock = false},
    {.name = "sync lock", .settings = {"GRFA=03"}, .sync_lock = true},
};

void enter(Controller &sim, const State &state) {
    sim.reset();
    for (const char *text : state.settings) {
        kova::registers::Setting setting{};
        std::string error;
        ASSERT_TRUE(kova::registers::parse_setting(text, setting, error)) << error;
        kova::sim::apply(sim, setting);
    }
    ASSERT_EQ(MapKOVAMemory(), 0);
    if (state.sync_lock) Kova_DoSyncLock(0, 0, 3, 1);
    sim.clear_trace();
}

// The accesses, port I/O and its mirror in the register window spelt alike.
std::vector<std::string> accesses(const Controller &sim) {
    std::vector<std::string> lines;
    for (Event e : sim.events()) {
        if (e.kind == Event::Kind::W8) e.kind = Event::Kind::Out8;
        if (e.kind == Event::Kind::R8) e.kind = Event::Kind::In8;
        lines.push_back(kova::sim::format(e));
    }
    return lines;
}

// Every port write selects a register or writes GR FA or GR BF.
void expect_only_page_writes(const Controller &sim) {
    int gr_index = -1;
    for (const Event &e : sim.events()) {
        if (e.kind == Event::Kind::Out8 && e.address == 0x3CE) gr_index = static_cast<int>(e.value);
        const bool data_write =
            e.kind == Event::Kind::Out8 && (e.address == 0x3CF || e.address == 0x3C5 || e.address == 0x3D5);
        const bool page_write = e.address == 0x3CF && (gr_index == 0xFA || gr_index == 0xBF);
        EXPECT_TRUE(!data_write || page_write) << kova::sim::format(e);
        EXPECT_TRUE(e.kind == Event::Kind::Out8 || e.kind == Event::Kind::In8 || e.kind == Event::Kind::R16)
            << kova::sim::format(e);
    }
}

// The lines of a register dump that name a register the reading reads.
std::string dump_of_snapshot(const Controller &sim) {
    kova::sim::ControllerReader reader(sim);
    std::set<std::string> names;
    kova::state::read_snapshot(reader, [&](const kova::registers::Setting &s) {
        names.insert(kova::registers::register_name(s.reg));
    });
    std::istringstream all(kova::sim::dump(sim));
    std::string kept;
    for (std::string line; std::getline(all, line);)
        if (names.contains(line.substr(0, line.find('=')))) kept += line + "\n";
    return kept;
}

std::unique_ptr<Controller> open_card(const std::string &path) {
    kova::sim::Card::Use use;
    use.create = false;
    std::string error;
    auto card = kova::sim::Card::open(path, use, error);
    EXPECT_NE(card, nullptr) << error;
    auto sim = std::make_unique<Controller>();
    if (card) sim->attach(std::move(card));
    return sim;
}

TEST(RecordCard, TheCardHoldsWhatTheLibraryReadsWithTheSameAccesses) {
    Controller &sim = kova::sim::controller();
    for (const State &state : kStates) {
        SCOPED_TRACE(state.name);
        const ScratchDir dir;
        enter(sim, state);
        const std::uint8_t page_fa = sim.get(Reg::gr(0xFA)), page_bf = sim.get(Reg::gr(0xBF));
        kova::ctl::regs::Reader library;
        kova::state::read_snapshot(library, [](const kova::registers::Setting &) {});
        const std::vector<std::string> library_accesses = accesses(sim);
        sim.clear_trace();

        kova::run::SimBackend backend(sim, -1);
        kova::run::BackendReader reader(backend);
        std::string error;
        ASSERT_TRUE(kova::run::record_card(reader, dir / "before.card", error)) << error;
        EXPECT_EQ(accesses(sim), library_accesses);
        expect_only_page_writes(sim);
        EXPECT_EQ(sim.get(Reg::gr(0xFA)), page_fa);
        EXPECT_EQ(sim.get(Reg::gr(0xBF)), page_bf);

        EXPECT_EQ(dump_of_snapshot(*open_card(dir / "before.card")), dump_of_snapshot(sim));
    }
}

TEST(RecordCard, AnExistingCardIsRewrittenAndAnotherFileRefused) {
    Controller &sim = kova::sim::controller();
    const ScratchDir dir;
    enter(sim, kStates[1]);
    kova::run::SimBackend backend(sim, -1);
    kova::run::BackendReader reader(backend);
    std::string error;

    // A register the reading does not reach goes back to power-on.
    ASSERT_TRUE(kova::sim::Card::create(dir / "old.card", error)) << error;
    open_card(dir / "old.card")->set(Reg::gr(0x4E, 0x33), 0x77);
    ASSERT_TRUE(kova::run::record_card(reader, dir / "old.card", error)) << error;
    const auto recorded = open_card(dir / "old.card");
    EXPECT_EQ(recorded->get(Reg::gr(0x4E, 0x33)), 0);
    EXPECT_EQ(recorded->get(Reg::gr(0x4E, 0x05)), 0x5A);

    const std::string text = "not a card\n";
    std::ofstream(dir / "notes") << text;
    sim.clear_trace();
    EXPECT_FALSE(kova::run::record_card(reader, dir / "notes", error));
    EXPECT_NE(error.find("notes"), std::string::npos) << error;
    EXPECT_TRUE(sim.events().empty());
    std::ifstream in(dir / "notes");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
}

} // namespace
