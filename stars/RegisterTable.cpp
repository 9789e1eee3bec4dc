#include "RegisterTable.h"

RegisterEntry registerTable[RegisterCount];

namespace {

constexpr RegisterProfile kProfiles[RegisterProfileCount] = {
    // accX    accY    accZ    gyroX   gyroY   gyroZ   workMode calibCmd calibSt motion
    {2, {0x0013, 0x0014, 0x0015, 0x0016, 0x0017, 0x0018, 0x0020, 0x0046, 0x0047, 0x0048}},
    {3, {0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, 0x0020, 0x0046, 0x0047, 0x0048}},
    {1, {0x001C, 0x001D, 0x001E, 0x001F, 0x0020, 0x0021, 0x0009, 0x0010, 0x0011, 0x0012}},
};

} // namespace

const RegisterProfile *registerProfile(int profile)
{
    if (profile < 0 || profile >= RegisterProfileCount)
        return nullptr;
    return &kProfiles[profile];
}

void clearRegisterValues()
{
    for (RegisterEntry &entry : registerTable)
        entry.value.store(0);
}
