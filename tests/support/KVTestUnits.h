#pragma once
// A unit factory with the built-in classes registered, for tests of the
// class registry, the attributes and the base unit; and single
// manipulators made from a descriptor, for tests of one value type.
#include <memory>
#include <string>

#include "units/KVAttributeManipulator.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

class KVTestUnits {
public:
    // Registers the built-in classes (the factory's phase 2).
    KVTestUnits();
    ~KVTestUnits();

    kvl::KVUnitFactory& Factory() { return *m_factory; }
    int32_t ClassIndex(const char* name) { return m_factory->FindClassByName(name); }
    // Registers a class derived from "Unit"; its class index.
    int32_t RegisterClass(const char* name, uint64_t id, kvl::KVUnitCreateFunction create,
                          kvl::KVUnitCreateExtraFunction extra = nullptr);
    // A unit of that class, made at run time unless options say otherwise.
    kvl::KVUnit* Create(const char* className = "Unit", int32_t options = kvl::KVCREATE_RUNTIME);

    // A descriptor of an attribute to add to a class, flags at their defaults.
    static kvl::KVAttributeDesc Attribute(int32_t classIndex, int32_t type, const std::string& name, uint64_t id,
                                          int32_t count = 1);
    // The descriptor and manipulator of one attribute of that type.
    static kvl::KVAttributeDesc Describe(int32_t type, const std::string& name = "A", int32_t count = 1,
                                         int32_t bit = 0);
    static std::shared_ptr<kvl::KVAttributeManipulator> Manipulator(int32_t type, const std::string& name = "A",
                                                                    int32_t count = 1, int32_t bit = 0);

private:
    std::unique_ptr<kvl::KVUnitFactory> m_factory;
};

} // namespace kvtest
