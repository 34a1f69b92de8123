#include <cstring>
#include <string>

#include "tests/core/core_test.h"

namespace quavr::test {
namespace {

using namespace platform;

std::string errorText() {
  char text[256];
  bgmGetMidiErrorText(text, sizeof text);
  return text;
}

std::string textOf(MMRESULT code) {
  char text[256];
  midiOutGetErrorTextA(code, text, sizeof text);
  return text;
}

class DeviceTest : public CoreTest {};

TEST_F(DeviceTest, OpenHandsThePortTheDeviceAndTheCompletionCallback) {
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  ASSERT_NE(device, 0u);
  ASSERT_EQ(fake::openCalls().size(), 1u);
  const fake::OpenCall& call = fake::openCalls()[0];
  EXPECT_EQ(call.deviceId, 0u);
  EXPECT_EQ(call.instance, device);
  EXPECT_EQ(call.flags, CALLBACK_FUNCTION);
  EXPECT_NE(call.callback, 0u);
  EXPECT_EQ(fake::openPortCount(), 1);
  EXPECT_EQ(bgmCloseMidiDev(device), MMSYSERR_NOERROR);
  EXPECT_EQ(fake::openPortCount(), 0);
}

TEST_F(DeviceTest, NoDevicesGives68WhateverHandleTheStatusIsAskedWith) {
  fake::setDeviceCount(0);
  EXPECT_EQ(bgmOpenMidiDev(0, 10), 0u);
  EXPECT_EQ(uMidiStatus, MIDIERR_NODEVICE);
  EXPECT_EQ(bgmMidiStatus(0), MIDIERR_NODEVICE);
  EXPECT_EQ(bgmMidiStatus(0xDEADBEEF), MIDIERR_NODEVICE);
  EXPECT_EQ(errorText(), textOf(MIDIERR_NODEVICE));
  EXPECT_FALSE(errorText().empty());
  EXPECT_TRUE(fake::openCalls().empty()) << "the port must not be asked when there is none";
}

TEST_F(DeviceTest, RefusedOpenKeepsThePortsResultAndFreesTheDevice) {
  EXPECT_EQ(bgmOpenMidiDev(3, 10), 0u);
  EXPECT_EQ(uMidiStatus, MMSYSERR_BADDEVICEID);
  EXPECT_EQ(errorText(), textOf(MMSYSERR_BADDEVICEID));

  fake::inject(fake::Op::MidiOutOpen, MMSYSERR_ALLOCATED);
  EXPECT_EQ(bgmOpenMidiDev(0, 10), 0u);
  EXPECT_EQ(bgmMidiStatus(0), MMSYSERR_ALLOCATED);
}

TEST_F(DeviceTest, SuccessfulOpenClearsAnEarlierError) {
  EXPECT_EQ(bgmOpenMidiDev(9, 10), 0u);
  ASSERT_NE(uMidiStatus, 0u);
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  ASSERT_NE(device, 0u);
  EXPECT_EQ(uMidiStatus, 0u);
  char text[256];
  EXPECT_EQ(bgmGetMidiErrorText(text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_EQ(std::string(text), textOf(0));
  bgmCloseMidiDev(device);
}

TEST_F(DeviceTest, UnallocatableDeviceGivesZeroWithStatusZero) {
  uMidiStatus = 77;
  fake::failAllocation(1);
  EXPECT_EQ(bgmOpenMidiDev(0, 10), 0u);
  EXPECT_EQ(uMidiStatus, 0u);
  EXPECT_TRUE(fake::openCalls().empty());
}

TEST_F(DeviceTest, CloseReportsTheResultAndFreesTheDeviceEvenWhenTheCloseFails) {
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  // A port still playing is reset and asked again: a close that fails twice is reported.
  fake::inject(fake::Op::MidiOutClose, MIDIERR_STILLPLAYING, 2);
  EXPECT_EQ(bgmCloseMidiDev(device), MIDIERR_STILLPLAYING);
  EXPECT_EQ(fake::callCount(fake::Op::MidiOutReset), 1);
  EXPECT_EQ(uMidiStatus, MIDIERR_STILLPLAYING);
  // The device is gone: closing it again is a bad handle and leaves the status alone.
  EXPECT_EQ(bgmCloseMidiDev(device), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(uMidiStatus, MIDIERR_STILLPLAYING);
}

TEST_F(DeviceTest, CloseRefusesHandlesThatNameNoOpenDevice) {
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  const HGLOBAL other = GlobalAlloc(GHND, 16);  // a live block, but not a device
  uMidiStatus = 1234;
  for (std::uint32_t bad : {0u, other, device ^ 0x00400000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(bgmCloseMidiDev(bad), MMSYSERR_INVALHANDLE) << bad;
  }
  EXPECT_EQ(uMidiStatus, 1234u);
  EXPECT_EQ(fake::openPortCount(), 1);
  EXPECT_EQ(bgmCloseMidiDev(device), MMSYSERR_NOERROR);
  EXPECT_EQ(uMidiStatus, 0u);
  GlobalFree(other);
}

TEST_F(DeviceTest, OpenAndCloseNotificationsAreIgnored) {
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  fake::notifyPorts(MOM_OPEN);
  fake::notifyPorts(MOM_CLOSE);
  fake::notifyPorts(12345);
  EXPECT_EQ(bgmCloseMidiDev(device), MMSYSERR_NOERROR);
}

TEST_F(DeviceTest, ErrorTextPassesTheLookupThrough) {
  uMidiStatus = 5000;  // not a known code
  char text[8] = "junk";
  EXPECT_EQ(bgmGetMidiErrorText(text, sizeof text), MMSYSERR_BADERRNUM);
  EXPECT_STREQ(text, "");
  uMidiStatus = MIDIERR_NODEVICE;
  EXPECT_EQ(bgmGetMidiErrorText(text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_EQ(std::strlen(text), sizeof text - 1) << "a short buffer gets a cut, terminated text";
  EXPECT_EQ(bgmGetMidiErrorText(nullptr, 0), MMSYSERR_INVALPARAM);
}

TEST_F(DeviceTest, DevicesAreIndependent) {
  fake::setDeviceCount(2);
  const QuavrDevice a = bgmOpenMidiDev(0, 10);
  const QuavrDevice b = bgmOpenMidiDev(1, 5);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  EXPECT_EQ(bgmCloseMidiDev(a), MMSYSERR_NOERROR);
  EXPECT_EQ(fake::openPortCount(), 1);
  EXPECT_EQ(bgmCloseMidiDev(b), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace quavr::test
