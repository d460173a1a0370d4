#pragma once
// Class "CollisionGroup": once a frame it tests moving units (the
// collisioners) against obstacles or targets (the collisionables), and
// optionally the collisioners against each other, by both units'
// CollidesWith, and raises "OnCollisionEnter", "OnCollision" and
// "OnCollisionLeave" on the collisioners. It listens on each collisioner it
// holds a contact for, so that it hears when that unit goes away.
#include <array>
#include <cstdint>
#include <vector>

#include "../units/IKVLinker.h"
#include "../units/KVUnit.h"
#include "../units/KVUnitRefArray.h"

namespace kvl {

class KVUnitCollisionGroup : public KVUnit, public IKVLinker {
public:
    static constexpr uint64_t kClassId = 0x0060247B439AB90Cull;
    static constexpr uint64_t kCollisionersId = 0x0018721B0A8AE6DFull;
    static constexpr uint64_t kCollisionablesId = 0x0025E51E8F1E87B6ull;
    static constexpr uint64_t kTestCollisionersId = 0x0007F67C6EB70876ull;
    static constexpr uint64_t kTestInvisibleId = 0x000AED290DE7B139ull;
    static constexpr uint64_t kTypeId = 0x005EEDA83F4C08ECull;
    static constexpr size_t kBuckets = 16;

    static KVUnit* Create() { return new KVUnitCollisionGroup; }
    // Registers class "CollisionGroup", its attributes and its script
    // methods; the class index, or -1.
    static int32_t RegisterClass();
    static KVUnitCollisionGroup* FromUnit(IKVUnit* unit);

    // KVUnit
    // Forgets every contact, without events.
    void Refresh() override;
    void Init() override;
    void Close() override;
    // The frame's pass; no "OnUpdate".
    void Update(float dt) override;

    // IKVLinker
    // A collisioner goes away: its contact ends.
    int32_t UnlinkUnit(IKVUnit* unit, int32_t code) override;
    int32_t OnUnitChanged(IKVUnit* unit, int32_t code) override;

    // Appends a reference to the unit to the arrays named.
    void AddUnit(int32_t unitIndex, bool asCollisionable, bool asCollisioner);
    // Removes the first reference to the unit from the arrays named.
    void RemoveUnit(int32_t unitIndex, bool fromCollisionables, bool fromCollisioners);

    KVUnitRefArray& GetCollisioners() { return m_collisioners; }
    KVUnitRefArray& GetCollisionables() { return m_collisionables; }
    // Number of collisioners in contact with something.
    size_t GetContactCount() const;

protected:
    ~KVUnitCollisionGroup() override;

private:
    // The contact of one collisioner: the unit it touched first (with its
    // uid, so that a reused index is not taken for it) and whether it
    // touched anything in this frame's pass.
    struct Contact {
        int32_t key;
        int32_t other;
        uint64_t otherUid;
        uint8_t touched;
    };
    struct Pair {
        int32_t receiver;
        int32_t other;
    };

    static std::vector<Contact>& BucketOf(std::array<std::vector<Contact>, kBuckets>& table, int32_t key) {
        return table[uint32_t(key) & (kBuckets - 1)];
    }
    Contact* FindContact(int32_t key);
    bool IsTestable(IKVUnit* unit) const;
    void CollectPairs(std::vector<Pair>* pairs);
    void RaiseWithUnit(int32_t receiver, const char* event, int32_t other);
    // Takes the contact out of the table; raises "OnCollisionLeave" when its
    // other unit is still the same unit; stops listening unless the
    // collisioner is going away.
    void EndContact(int32_t key, bool unlisten);
    // Forgets every contact and stops listening on their collisioners.
    void ForgetContacts();

    KVUnitRefArray m_collisioners;
    KVUnitRefArray m_collisionables;
    bool m_testCollisioners = false;
    bool m_testInvisible = false;
    uint32_t m_type = 0;
    std::array<std::vector<Contact>, kBuckets> m_contacts;
    // Set by Close: a pass that an event closed the group in stops.
    bool m_closed = false;
};

} // namespace kvl
