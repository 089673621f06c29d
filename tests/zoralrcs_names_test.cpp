// The store's name index against a plain map, through growth, clusters and
// removals that move entries back.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "zoralrcs_names.h"

namespace {

// Items whose names live as long as the test; the index only points at them.
struct Items {
    std::vector<std::unique_ptr<vmitem>> items;
    std::map<const vmitem *, std::unique_ptr<std::string>> names;

    vmitem *make(const std::string &name) {
        items.push_back(std::make_unique<vmitem>());
        std::string *text = (names[items.back().get()] = std::make_unique<std::string>(name)).get();
        items.back()->name = text->data();
        return items.back().get();
    }

    // What the store does to a dropped item's name: it is gone.
    void spoil(const vmitem *item) {
        names.at(item)->assign("gone!");
    }
};

using Model = std::map<std::string, std::array<vmitem *, NAME_SLOTS>>;

void expect_agrees(const vmnames &names, const Model &model, const std::string &unknown) {
    size_t held = 0;
    for (const auto &[name, items] : model) {
        const vmname *entry = psfindname(&names, name.c_str());
        bool any = items[0] != NULL || items[1] != NULL || items[2] != NULL;
        held += any;
        ASSERT_EQ(entry != NULL, any) << name;
        if (entry == NULL)
            continue;
        EXPECT_EQ(name, entry->name);
        for (int slot = 0; slot < NAME_SLOTS; slot++)
            EXPECT_EQ(entry->items[slot], items[slot]) << name << " slot " << slot;
    }
    EXPECT_EQ(names.used, held);
    EXPECT_EQ(psfindname(&names, unknown.c_str()), nullptr);
}

TEST(NameIndex, AgreesWithAMapThroughGrowthAndRemoval) {
    std::mt19937 rng(1024);
    Items storage;
    Model model;
    vmnames names = {NULL, 0, 0};
    EXPECT_EQ(psfindname(&names, "A"), nullptr);
    psdropname(&names, storage.make("A")); // nothing to forget in an empty index

    for (int round = 0; round < 20000; round++) {
        // Few names at first (dense clusters after removals), then many (growth).
        int pool = round < 10000 ? 200 : 3000;
        std::string name = "NAME_" + std::to_string(rng() % pool);
        int slot = static_cast<int>(rng() % NAME_SLOTS);
        vmitem *&recorded = model[name][static_cast<size_t>(slot)];
        if (recorded == NULL && rng() % 3 != 0) {
            recorded = storage.make(name); // each item has a name block of its own
            ASSERT_TRUE(psaddname(&names, slot, recorded));
        } else if (recorded != NULL) {
            // The entry's name may be the dropped item's: it must move to another item's.
            psdropname(&names, recorded);
            storage.spoil(recorded);
            recorded = NULL;
        }
        if (round % 500 == 0)
            expect_agrees(names, model, "NAME_X");
    }
    expect_agrees(names, model, "NAME_X");
    EXPECT_GE(names.capacity, names.used * 4 / 3);

    psfreenames(&names);
    EXPECT_EQ(names.capacity, 0u);
    EXPECT_EQ(psfindname(&names, "NAME_1"), nullptr);
}

} // namespace
