// One pointer move handed to 1,000 enabled push buttons, as the input module
// hands it to each listener (a few of them under the pointer, so that the
// move tests hits and misses but raises no event once their states are
// set), against the scene manager's hit test called directly for every
// button.
#include <memory>
#include <random>
#include <vector>

#include "KVBench.h"
#include "KVBenchUnits.h"
#include "units/KVSceneManager.h"
#include "units/KVUnitFactory.h"
#include "units2d/KVGUIButton.h"

namespace {

constexpr int kButtons = 1000;

struct ButtonBench {
    std::unique_ptr<kvl::KVSceneManager> scene;
    std::vector<kvl::KVGUIButton*> buttons;
    const kvl::KVScreenPoint pointer{0, 0};
    int hits = 0;

    ButtonBench() {
        kvbench::UnitState();
        if (!kvl::KVSceneManager::Instance()) scene = std::make_unique<kvl::KVSceneManager>();
        kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
        const int32_t buttonClass = factory->FindClassByName("GUIButton");
        std::mt19937 rng(17);
        std::uniform_real_distribution<float> where(-400.0f, 400.0f);
        for (int i = 0; i < kButtons; ++i) {
            kvl::KVUnit* made = nullptr;
            factory->CreateUnit(buttonClass, &made, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
            auto* button = dynamic_cast<kvl::KVGUIButton*>(made);
            if (!button) continue;
            factory->UpdateRootMembership(button);
            button->SetParentEnabled(true);
            button->ApplyEnabledState();
            button->SetDimension(64, 64);
            button->SetPosition(where(rng), where(rng));
            buttons.push_back(button);
        }
        // The first move sets the states; later ones change nothing.
        Move();
    }

    void Move() {
        for (kvl::KVGUIButton* button : buttons) {
            uint32_t move = kvl::KVGUIButton::kMove;
            button->OnInput(&move, pointer.x, pointer.y);
        }
    }

    void Direct() {
        kvl::KVSceneManager* manager = kvl::KVSceneManager::Instance();
        for (kvl::KVGUIButton* button : buttons)
            hits += manager->IsPointInside(button, pointer, false, nullptr, nullptr);
    }
};

ButtonBench& Bench() {
    return kvbench::Lazy<ButtonBench>();
}

kvbench::Figure ButtonFigure() {
    kvbench::Figure f;
    f.name = "KVGUIButton pointer move handed to 1,000 push buttons";
    f.baselineName = "1,000 direct scene-manager hit tests of the same buttons";
    f.target = 1.5;
    f.baseline = [] { Bench().Direct(); };
    f.subject = [] { Bench().Move(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(ButtonFigure);
