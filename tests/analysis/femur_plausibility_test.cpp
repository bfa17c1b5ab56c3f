// The check of the found items against the fitted head: an item where no femur has it is not
// added, nor is any item built on it, and each is named with why.
#include "analysis/femur_analyser.h"

#include "tests/analysis/femur_steps_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(FemurPlausibility, AnItemWhereNoFemurHasItIsLeftOutWithWhatIsBuiltOnIt)
{
    // Head of radius 20 at the origin, up along +z; a femur has the lesser trochanter 30 to
    // 90 mm below the head centre and 40 to 90 mm from it, the crest 15 mm above to 25 mm below
    // and 30 to 60 mm away, the fossa 15 mm above to 20 mm below and 20 to 50 mm away.
    const Point3 trochanter{0, 10, -70}, shaft{0, 0, -70}, crest{-30, 20, -5}, fossa{-25, 15, -5};
    const struct {
        const char* name;
        Point3 trochanter, shaft, crest, fossa;
        FemurAnalyser::Implausible expected;
        std::vector<std::string> said; // the start of each withheld text
    } cases[] = {
        {"where a femur has them",
         trochanter,
         shaft,
         crest,
         fossa,
         {false, false, false, false},
         {}},
        {"lesser trochanter beside the head",
         {0, 45, -5},
         shaft,
         crest,
         fossa,
         {true, true, true, true},
         {"lesser trochanter left out: it lies 5 mm below the head centre and 45 mm from it, "
          "where a femur has it 30 mm below to 90 mm below and 40 to 90 mm away",
          "shaft slice left out: built on the lesser trochanter",
          "crest left out: built on the lesser trochanter",
          "fossa left out: built on the lesser trochanter"}},
        {"crest above the head",
         trochanter,
         shaft,
         {-30, 0, 40},
         fossa,
         {false, false, true, true},
         {"crest left out: it lies 40 mm above the head centre and 50 mm from it, where a femur "
          "has it 15 mm above to 25 mm below and 30 to 60 mm away",
          "fossa left out: built on the crest"}},
        {"fossa down the shaft",
         trochanter,
         shaft,
         crest,
         {-20, 0, -40},
         {false, false, false, true},
         {"fossa left out: it lies 40 mm below"}},
        {"shaft slice in the head",
         trochanter,
         {0, 0, -10},
         crest,
         fossa,
         {false, true, false, false},
         {"shaft slice left out: it lies 10 mm below"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Surface surface = bare_surface({});
        FemurAnalyser analyser;
        bind(analyser, surface);
        analyser.frame.u = {0, 0, 1};
        analyser.head_centre = {0, 0, 0};
        analyser.head_radius = 20.0;
        analyser.lesser_trochanter = rows_of({c.trochanter});
        analyser.shaft_slice = rows_of({c.shaft});
        analyser.crest_point = c.crest;
        analyser.fossa_points = {c.fossa};
        analyser.fossa_point = c.fossa;
        analyser.check_items_against_head();
        EXPECT_EQ(analyser.implausible.lesser_trochanter, c.expected.lesser_trochanter);
        EXPECT_EQ(analyser.implausible.shaft_slice, c.expected.shaft_slice);
        EXPECT_EQ(analyser.implausible.crest, c.expected.crest);
        EXPECT_EQ(analyser.implausible.fossa, c.expected.fossa);
        ASSERT_EQ(analyser.withheld.size(), c.said.size());
        for (std::size_t i = 0; i < c.said.size(); ++i)
            EXPECT_EQ(analyser.withheld[i].rfind(c.said[i], 0), 0u) << analyser.withheld[i];
        // The note for the status line says the same, after nothing else: every item was found.
        std::string note;
        for (const std::string& text : analyser.withheld)
            note += (note.empty() ? "" : "; ") + text;
        EXPECT_EQ(analyser.left_out_note(), note);
    }
}
