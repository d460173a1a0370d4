// The graphic module's SetOffset2D re-placing 10,000 enabled 2D units in
// chains 4 deep (each unit's transform update also re-places its subtree),
// against the same affine products (local transform, product with the
// parent's world transform, inverse) computed in a plain loop over arrays.
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "KVBench.h"
#include "KVBenchUnits.h"
#include "graphics/KVGraphic.h"
#include "units/KV2DTransform.h"
#include "units/KVUnit2D.h"
#include "units/KVUnitFactory.h"

namespace {

constexpr int kUnits = 10000;
constexpr int kDepth = 4;

struct Placement {
    kvl::KV2DTempl<float> position;
    kvl::KV2DTempl<float> scale;
    float rotation;
    kvl::KV2DTempl<int32_t> pivot;
};

struct Offset2DBench {
    std::unique_ptr<kvl::KVGraphic> graphic;
    std::vector<Placement> placements;
    std::vector<kvl::KV2DTransform> local, world, inverse;
    std::vector<kvl::KVUnit2D*> units;

    Offset2DBench() {
        kvbench::UnitState();
        graphic = std::make_unique<kvl::KVGraphic>();
        kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
        const int32_t unit2D = factory->FindClassByName("Unit2D");
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> where(-200.0f, 200.0f), turn(-3.0f, 3.0f), size(0.5f, 2.0f);
        for (int i = 0; i < kUnits; ++i) {
            Placement p{{where(rng), where(rng)}, {size(rng), size(rng)}, turn(rng), {16, 16}};
            placements.push_back(p);
            kvl::KVUnit* made = nullptr;
            factory->CreateUnit(unit2D, &made, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
            auto* unit = static_cast<kvl::KVUnit2D*>(made);
            // Each chain: a root and three units, each the child of the one before.
            if (i % kDepth != 0) unit->SetParent(units.back()->GetIndex());
            factory->UpdateRootMembership(unit);
            unit->SetParentEnabled(true);
            unit->ApplyEnabledState();
            unit->SetDimension(32, 32);
            factory->SetAttributeText(unit->GetIndex(),
                                      factory->FindAttributePosition(unit2D, kvl::KVUnit2D::kScaleId), 0,
                                      std::to_string(p.scale.x), false);
            factory->SetAttributeText(unit->GetIndex(),
                                      factory->FindAttributePosition(unit2D, kvl::KVUnit2D::kScaleId), 1,
                                      std::to_string(p.scale.y), false);
            unit->SetRotation(p.rotation);
            unit->SetPosition(p.position.x, p.position.y);
            units.push_back(unit);
        }
        local.resize(kUnits);
        world.resize(kUnits);
        inverse.resize(kUnits);
    }

    // What one unit's transform update computes.
    void Place(int i) {
        const Placement& p = placements[size_t(i)];
        kvl::TransformPoint2D(p.position, p.scale, p.rotation, p.pivot, &local[size_t(i)]);
        world[size_t(i)] = i % kDepth == 0 ? local[size_t(i)] : kvl::Compose2D(world[size_t(i) - 1], local[size_t(i)]);
        kvl::Invert2D(world[size_t(i)], &inverse[size_t(i)]);
    }

    // SetOffset2D updates every unit, and each update re-places the units
    // below it: a chain of 4 computes 4 + 3 + 2 + 1 placements.
    void Baseline() {
        for (int chain = 0; chain < kUnits; chain += kDepth)
            for (int start = chain; start < chain + kDepth; ++start)
                for (int i = start; i < chain + kDepth; ++i) Place(i);
    }

    void Subject() {
        const int32_t offset[2] = {3, 4};
        graphic->SetOffset2D(offset);
    }
};

Offset2DBench& Bench() {
    return kvbench::Lazy<Offset2DBench>();
}

kvbench::Figure Offset2DFigure() {
    kvbench::Figure f;
    f.name = "KVGraphic::SetOffset2D re-placing 10,000 2D units in chains 4 deep";
    f.baselineName = "the same 25,000 local, world and inverse transforms in a plain loop";
    f.target = 3.0;
    f.baseline = [] { Bench().Baseline(); };
    f.subject = [] { Bench().Subject(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(Offset2DFigure);
