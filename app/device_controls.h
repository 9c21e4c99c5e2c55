// The controls that need an open card, written once: every one starts
// disabled and goes off again at close; each row says what switches it on.
#pragma once

#include <array>
#include <cstddef>

#include "resource.h"

enum class EnabledBy {
    EveryOpen,
    Tz820Open,     // only a TZ820 has the MEM window and the 32-bit switch
    FlashIdentify  // the flash panel's identification, the open's last step
};

struct DeviceControl {
    int id;
    EnabledBy enabledBy;
};

// In the order of the main dialog's panels.
inline constexpr DeviceControl kDeviceControlRows[] = {
    {IDC_MEM_BASE_LABEL, EnabledBy::Tz820Open},  {IDC_MEM_BASE, EnabledBy::Tz820Open},
    {IDC_PULSE_SET, EnabledBy::EveryOpen},       {IDC_IO_CLEAR, EnabledBy::EveryOpen},
    {IDC_IO_READ, EnabledBy::EveryOpen},         {IDC_IO_WRITE, EnabledBy::EveryOpen},
    {IDC_MEM_32BIT, EnabledBy::Tz820Open},       {IDC_MEM_CLEAR, EnabledBy::Tz820Open},
    {IDC_MEM_READ, EnabledBy::Tz820Open},        {IDC_MEM_WRITE, EnabledBy::Tz820Open},
    {IDC_I2C_READ, EnabledBy::EveryOpen},        {IDC_I2C_WRITE, EnabledBy::EveryOpen},
    {IDC_IDENTITY, EnabledBy::EveryOpen},        {IDC_SPI_SET, EnabledBy::EveryOpen},
    {IDC_FLASH_READ, EnabledBy::FlashIdentify},  {IDC_FLASH_WRITE, EnabledBy::FlashIdentify},
    {IDC_FLASH_ERASE, EnabledBy::FlashIdentify}, {IDC_CFG_READ, EnabledBy::EveryOpen},
    {IDC_CFG_WRITE, EnabledBy::EveryOpen},       {IDC_LEVEL_TEST, EnabledBy::EveryOpen},
    {IDC_EDGE_TEST, EnabledBy::EveryOpen},       {IDC_CLOSE, EnabledBy::EveryOpen},
};

template <EnabledBy by> constexpr std::size_t CountEnabledBy()
{
    std::size_t n = 0;
    for (const DeviceControl &control : kDeviceControlRows)
        n += control.enabledBy == by ? 1 : 0;
    return n;
}

template <EnabledBy by> constexpr std::array<int, CountEnabledBy<by>()> IdsEnabledBy()
{
    std::array<int, CountEnabledBy<by>()> ids{};
    std::size_t n = 0;
    for (const DeviceControl &control : kDeviceControlRows)
        if (control.enabledBy == by)
            ids[n++] = control.id;
    return ids;
}

constexpr std::array<int, std::size(kDeviceControlRows)> AllDeviceControlIds()
{
    std::array<int, std::size(kDeviceControlRows)> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = kDeviceControlRows[i].id;
    return ids;
}

inline constexpr auto kDeviceControls = AllDeviceControlIds();
// Switched on by every successful open.
inline constexpr auto kDeviceButtons = IdsEnabledBy<EnabledBy::EveryOpen>();
inline constexpr auto kTz820Controls = IdsEnabledBy<EnabledBy::Tz820Open>();
