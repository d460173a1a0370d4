#pragma once
// A unit factory that refuses classes and knows no units: test doubles that
// stand in for the unit table derive from it and answer only what they keep.
#include "units/IKVUnit.h"
#include "units/IKVUnitFactory.h"

namespace kvtest {

class KVStubUnitFactory : public kvl::IKVUnitFactory {
public:
    int32_t FindClassByName(const std::string&) override { return -1; }
    int32_t FindClassById(uint64_t) override { return -1; }
    int32_t RegisterClass(const kvl::KVUnitClassDesc&, int32_t*) override { return kvl::KV_FAILED; }
    int32_t AddAttribute(const kvl::KVAttributeDesc&) override { return kvl::KV_FAILED; }
    int32_t UpdateAttribute(const kvl::KVAttributeDesc&, int32_t*) override { return kvl::KV_FAILED; }
    const kvl::KVAttributeDesc* FindAttributeById(int32_t, uint64_t) override { return nullptr; }
    kvl::IKVUnit* GetUnit(int32_t) override { return nullptr; }
    int32_t FindUnitByName(const std::string&, const char*, kvl::IKVUnit**) override { return kvl::KV_NOT_FOUND; }
    kvl::IKVUnit* FindUnitByUid(uint64_t) override { return nullptr; }
    int32_t FirstUnit(kvl::KVUnitQuery*, int32_t*) override { return kvl::KV_NOT_FOUND; }
    int32_t NextUnit(kvl::KVUnitQuery*, int32_t*) override { return kvl::KV_NOT_FOUND; }
    void EndQuery(kvl::KVUnitQuery*) override {}
    int32_t NewUnit(int32_t, kvl::IKVUnit**) override { return kvl::KV_FAILED; }
    int32_t NewHiddenUnit(int32_t, kvl::IKVUnit**) override { return kvl::KV_FAILED; }
    kvl::IKVUnitRef* MakeUnitRef(int32_t, const uint64_t*) override { return nullptr; }
    int32_t AddLinker(kvl::IKVLinker*) override { return kvl::KV_OK; }
    int32_t RemoveLinker(kvl::IKVLinker*) override { return kvl::KV_OK; }
    kvl::IKVUnit* CopyUnit(kvl::IKVUnit*) override { return nullptr; }
    int32_t GetSelectedUnit() override { return -1; }
    int32_t SelectUnit(int32_t) override { return kvl::KV_FAILED; }
    bool IsValidUnit(int32_t unitIndex) override { return GetUnit(unitIndex) != nullptr; }
    kvl::IKVUnitIterator* NewUnitIterator() override { return nullptr; }
    kvl::IKVUnitIterator* NewRootIterator() override { return nullptr; }
    bool IsLoading() override { return false; }
    bool IsUnitOfClass(kvl::IKVUnit*, int32_t) override { return false; }
};

} // namespace kvtest
