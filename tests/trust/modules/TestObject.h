// The class the test object module provides through the object repository.
#pragma once

#include "collections/factory/ObjectModel.h"

namespace qvdmodule {

constexpr pxLib::Guid CLSID_TestObject = {
    0x2C7B91E5, 0x4A0D, 0x4F38, {0x9E, 0x62, 0x1B, 0xD5, 0x73, 0x08, 0xAF, 0xC4}};
// The same class under the id the settings store names.
constexpr pxLib::Guid CLSID_TestStoreObject = {
    0x6F0A38D2, 0xB915, 0x4E7C, {0x84, 0x2F, 0x5D, 0x19, 0xC6, 0xE0, 0x73, 0xAB}};
constexpr pxLib::Guid IID_ITestObject = {
    0x8E41D06A, 0x57F2, 0x4C9B, {0xA3, 0x1D, 0x62, 0xC8, 0x0F, 0x95, 0x4E, 0x37}};
constexpr uint32_t kTestObjectAnswer = 0x5EED;

class ITestObject : public pxLib::IRefObject {
public:
    virtual uint32_t Answer() = 0;

protected:
    ~ITestObject() = default;
};

}  // namespace qvdmodule
