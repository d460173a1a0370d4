#include "KVUnitCollisionGroup.h"

#include "../units/IKVUnitRef.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

namespace {

// The Visible bit of a unit's Flags.
constexpr uint32_t kVisibleFlag = 2;

KVUnit* UnitAt(KVUnitFactory* factory, int32_t index) {
    IKVUnit* unit = factory && index >= 0 ? factory->GetUnit(index) : nullptr;
    return unit ? unit->GetUnit() : nullptr;
}

KVUnit* UnitAt(KVUnitFactory* factory, const KVUnitRefArray& array, size_t position) {
    IKVUnitRef* ref = array.At(position);
    return ref ? UnitAt(factory, ref->GetIndex()) : nullptr;
}

} // namespace

KVUnitCollisionGroup::~KVUnitCollisionGroup() {
    // No collisioner may keep calling a group that is gone.
    ForgetContacts();
    m_collisioners.ReleaseAll();
    m_collisionables.ReleaseAll();
}

KVUnitCollisionGroup* KVUnitCollisionGroup::FromUnit(IKVUnit* unit) {
    return unit ? dynamic_cast<KVUnitCollisionGroup*>(unit->GetUnit()) : nullptr;
}

void KVUnitCollisionGroup::Init() {
    KVUnit::Init();
    SetNativeUpdate(true);
    SetUpdateGroup(2);
    m_collisioners.SetOwner(GetIndex(), kCollisionersId);
    m_collisionables.SetOwner(GetIndex(), kCollisionablesId);
    m_testCollisioners = false;
    m_testInvisible = false;
    m_type = 0;
    m_closed = false;
}

void KVUnitCollisionGroup::Close() {
    m_closed = true;
    ForgetContacts();
    KVUnit::Close();
}

void KVUnitCollisionGroup::Refresh() { ForgetContacts(); }

void KVUnitCollisionGroup::ForgetContacts() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    std::array<std::vector<Contact>, kBuckets> contacts;
    contacts.swap(m_contacts);
    for (const std::vector<Contact>& bucket : contacts)
        for (const Contact& contact : bucket)
            if (KVUnit* unit = UnitAt(factory, contact.key)) unit->RemoveListener(this);
}

size_t KVUnitCollisionGroup::GetContactCount() const {
    size_t count = 0;
    for (const std::vector<Contact>& bucket : m_contacts) count += bucket.size();
    return count;
}

KVUnitCollisionGroup::Contact* KVUnitCollisionGroup::FindContact(int32_t key) {
    for (Contact& contact : BucketOf(m_contacts, key))
        if (contact.key == key) return &contact;
    return nullptr;
}

bool KVUnitCollisionGroup::IsTestable(IKVUnit* unit) const {
    return unit && unit->IsEnabled() && (m_testInvisible || (unit->GetFlags() & kVisibleFlag));
}

void KVUnitCollisionGroup::CollectPairs(std::vector<Pair>* pairs) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t type = int32_t(m_type);
    if (!m_collisionables.Empty()) {
        for (size_t i = 0; i < m_collisioners.Size(); ++i) {
            KVUnit* p = UnitAt(factory, m_collisioners, i);
            if (!IsTestable(p)) continue;
            for (size_t j = 0; j < m_collisionables.Size(); ++j) {
                KVUnit* q = UnitAt(factory, m_collisionables, j);
                if (!q || q->GetIndex() == p->GetIndex() || !IsTestable(q)) continue;
                if (q->CollidesWith(p, false, type) && p->CollidesWith(q, true, type))
                    pairs->push_back({p->GetIndex(), q->GetIndex()});
            }
        }
    }
    if (!m_testCollisioners || m_collisioners.Size() < 2) return;
    for (size_t i = 0; i + 1 < m_collisioners.Size(); ++i) {
        KVUnit* a = UnitAt(factory, m_collisioners, i);
        if (!IsTestable(a)) continue;
        for (size_t j = i + 1; j < m_collisioners.Size(); ++j) {
            KVUnit* b = UnitAt(factory, m_collisioners, j);
            if (!IsTestable(b)) continue;
            if (a->CollidesWith(b, true, type) && b->CollidesWith(a, false, type))
                pairs->push_back({a->GetIndex(), b->GetIndex()});
        }
    }
}

void KVUnitCollisionGroup::RaiseWithUnit(int32_t receiver, const char* event, int32_t other) {
    KVUnit* unit = UnitAt(KVUnitFactory::Instance(), receiver);
    if (!unit) return;
    KVScriptArgument argument;
    argument.type = KVSCRIPT_UNIT;
    argument.integer = other;
    unit->CallScriptFunction(event, 0, 1, &argument, nullptr);
}

void KVUnitCollisionGroup::Update(float dt) {
    (void)dt;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return;
    std::vector<Pair> pairs;
    CollectPairs(&pairs);
    // Scripts run from here on; a unit they close is passed by.
    for (const Pair& pair : pairs) {
        if (m_closed) return;
        if (!factory->IsValidUnit(pair.receiver) || !factory->IsValidUnit(pair.other)) continue;
        if (!FindContact(pair.receiver)) {
            RaiseWithUnit(pair.receiver, "OnCollisionEnter", pair.other);
            KVUnit* receiver = UnitAt(factory, pair.receiver);
            KVUnit* other = UnitAt(factory, pair.other);
            if (!receiver || m_closed) continue;
            if (!FindContact(pair.receiver)) {
                BucketOf(m_contacts, pair.receiver)
                    .push_back({pair.receiver, pair.other, other ? other->GetUid() : 0, 0});
                receiver->AddListener(this);
            }
        }
        if (Contact* contact = FindContact(pair.receiver)) contact->touched = 1;
        RaiseWithUnit(pair.receiver, "OnCollision", pair.other);
    }
    if (m_closed) return;
    // Contacts not touched in this pass end, bucket by bucket.
    std::vector<int32_t> ended;
    for (std::vector<Contact>& bucket : m_contacts) {
        for (Contact& contact : bucket) {
            if (contact.touched)
                contact.touched = 0;
            else
                ended.push_back(contact.key);
        }
    }
    for (int32_t key : ended) {
        if (m_closed) return;
        EndContact(key, true);
    }
}

void KVUnitCollisionGroup::EndContact(int32_t key, bool unlisten) {
    std::vector<Contact>& bucket = BucketOf(m_contacts, key);
    for (size_t i = 0; i < bucket.size(); ++i) {
        if (bucket[i].key != key) continue;
        const Contact contact = bucket[i];
        bucket.erase(bucket.begin() + std::ptrdiff_t(i));
        KVUnitFactory* factory = KVUnitFactory::Instance();
        if (unlisten)
            if (KVUnit* unit = UnitAt(factory, key)) unit->RemoveListener(this);
        // The index of a unit that went away may name another unit by now.
        KVUnit* other = UnitAt(factory, contact.other);
        if (other && other->GetUid() == contact.otherUid) RaiseWithUnit(key, "OnCollisionLeave", contact.other);
        return;
    }
}

int32_t KVUnitCollisionGroup::UnlinkUnit(IKVUnit* unit, int32_t code) {
    (void)code;
    if (unit) EndContact(unit->GetIndex(), false);
    return KV_OK;
}

int32_t KVUnitCollisionGroup::OnUnitChanged(IKVUnit* unit, int32_t code) {
    (void)unit;
    (void)code;
    return KV_OK;
}

void KVUnitCollisionGroup::AddUnit(int32_t unitIndex, bool asCollisionable, bool asCollisioner) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return;
    const struct {
        bool wanted;
        KVUnitRefArray* array;
        const uint64_t* id;
    } targets[] = {{asCollisionable, &m_collisionables, &kCollisionablesId},
                   {asCollisioner, &m_collisioners, &kCollisionersId}};
    for (const auto& target : targets) {
        if (!target.wanted) continue;
        IKVUnitRef* ref = factory->MakeUnitRef(GetIndex(), target.id);
        if (!ref) continue;
        ref->SetIndex(unitIndex);
        target.array->Append(ref);
        ref->Init(this, target.id);
    }
}

void KVUnitCollisionGroup::RemoveUnit(int32_t unitIndex, bool fromCollisionables, bool fromCollisioners) {
    for (KVUnitRefArray* array : {fromCollisionables ? &m_collisionables : nullptr,
                                  fromCollisioners ? &m_collisioners : nullptr}) {
        if (!array) continue;
        for (size_t i = 0; i < array->Size(); ++i) {
            IKVUnitRef* ref = array->At(i);
            if (ref && ref->GetIndex() == unitIndex) {
                array->RemoveAt(i);
                break;
            }
        }
    }
}

} // namespace kvl
