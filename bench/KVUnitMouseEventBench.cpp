// One pass of the mouse-hover module over 10,000 enabled 2D units (with
// the pointer over some of them, so that the pass tests hits and misses
// but raises no event once the marks are set), against the scene manager's
// hit test called directly for every unit the pass tests.
#include <memory>
#include <random>
#include <vector>

#include "KVBench.h"
#include "KVBenchUnits.h"
#include "units/KVSceneManager.h"
#include "units/KVUnit2D.h"
#include "units/KVUnitFactory.h"
#include "units2d/KVUnitMouseEventInterface.h"

namespace {

constexpr int kUnits = 10000;

// What the module asks its host for.
class BenchHost : public kvl::IKVUnknown {
public:
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override {
        if (id == kvl::IID_IKVUnitFactory)
            return kvl::AnswerInterface(static_cast<kvl::IKVUnitFactory*>(kvl::KVUnitFactory::Instance()), out);
        if (id == kvl::IID_IKVSceneManager)
            return kvl::AnswerInterface(static_cast<kvl::IKVSceneManager*>(kvl::KVSceneManager::Instance()), out);
        return IKVUnknown::QueryInterface(id, out);
    }
};

struct HoverBench {
    BenchHost host;
    std::unique_ptr<kvl::KVSceneManager> scene;
    kvl::KVUnitMouseEventInterface* module = nullptr;
    // Every enabled unit the pass tests, in the factory's order.
    std::vector<kvl::IKVUnit*> tested;
    const kvl::KVScreenPoint pointer{0, 0};
    int hits = 0;

    HoverBench() {
        kvbench::UnitState();
        if (!kvl::KVSceneManager::Instance()) scene = std::make_unique<kvl::KVSceneManager>();
        kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
        const int32_t unit2D = factory->FindClassByName("Unit2D");
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> where(-400.0f, 400.0f);
        for (int i = 0; i < kUnits; ++i) {
            kvl::KVUnit* made = nullptr;
            factory->CreateUnit(unit2D, &made, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
            auto* unit = static_cast<kvl::KVUnit2D*>(made);
            factory->UpdateRootMembership(unit);
            unit->SetParentEnabled(true);
            unit->ApplyEnabledState();
            unit->SetDimension(64, 64);
            unit->SetPosition(where(rng), where(rng));
        }
        const kvl::KVModuleCreateInfo info{&host, 0};
        module = static_cast<kvl::KVUnitMouseEventInterface*>(kvl::CreateMouseEventInterface(&info));
        module->Init(1);
        uint32_t move = 0x200;
        module->OnInput(&move, pointer.x, pointer.y);
        for (int32_t index = 0; index < factory->GetSlotCount(); ++index) {
            kvl::IKVUnit* unit = factory->GetUnit(index);
            if (unit && unit->IsEnabled()) tested.push_back(unit);
        }
        // The first pass sets the marks; later ones change nothing.
        module->Pass();
    }

    void Direct() {
        kvl::KVSceneManager* manager = kvl::KVSceneManager::Instance();
        for (kvl::IKVUnit* unit : tested) hits += manager->IsPointInside(unit, pointer, false, nullptr, nullptr);
    }
};

HoverBench& Bench() {
    return kvbench::Lazy<HoverBench>();
}

kvbench::Figure HoverFigure() {
    kvbench::Figure f;
    f.name = "KVUnitMouseEventInterface pass over 10,000 enabled 2D units";
    f.baselineName = "direct scene-manager hit tests of the same units";
    f.target = 1.5;
    f.baseline = [] { Bench().Direct(); };
    f.subject = [] { Bench().module->Pass(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(HoverFigure);
