// The recording fake of the Direct3D-style device: scripted enumerations, injected
// failures, recorded calls with their vertices, and forwarding to the soft device.
#include "d3d_fixture.h"

#include <cstring>
#include <string>

namespace {

class D3DFake : public D3DTest {
 protected:
  const char* Backend() override { return "fake"; }
};

PlatD3DFakeDevice ScriptedDevice(const char* name, PlatD3DDeviceType type) {
  PlatD3DFakeDevice d{name, name, {}};
  d.desc.deviceType = type;
  d.desc.deviceRenderBitDepth = PLAT_DDBD_16 | PLAT_DDBD_32;
  return d;
}

int CollectDevices(const char*, const char* name, const PlatD3DDeviceDesc* desc, void* context) {
  auto* seen = static_cast<std::vector<std::string>*>(context);
  seen->push_back(std::string(name) + ":" + std::to_string(desc->deviceType));
  return PLAT_D3DENUMRET_OK;
}

int StopAtFirst(const char*, const char* name, const PlatD3DDeviceDesc*, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(name);
  return PLAT_D3DENUMRET_CANCEL;
}

}  // namespace

TEST_F(D3DFake, ScriptedDevicesAreSeenInOrderAndACancelStopsTheWalk) {
  PlatD3DFakeSetDevices({ScriptedDevice("hal", PLAT_D3DDEVTYPE_HAL), ScriptedDevice("tnl", PLAT_D3DDEVTYPE_TNLHAL),
                         ScriptedDevice("rgb", PLAT_D3DDEVTYPE_SOFTWARE)});
  std::vector<std::string> seen;
  ASSERT_EQ(PlatD3DEnumDevices(d3d, CollectDevices, &seen), PLAT_D3D_OK);
  EXPECT_EQ(seen, (std::vector<std::string>{"hal:2", "tnl:3", "rgb:1"}));
  seen.clear();
  ASSERT_EQ(PlatD3DEnumDevices(d3d, StopAtFirst, &seen), PLAT_D3D_OK);
  EXPECT_EQ(seen, (std::vector<std::string>{"hal"}));

  // A device of a scripted type is made (on soft underneath); an unscripted type is not.
  PlatDDSurface target = Target(Format565(), 8, 8);
  PlatD3DDevice device = 0;
  EXPECT_EQ(PlatD3DCreateDevice(d3d, PLAT_D3DDEVTYPE_TNLHAL, target, &device), PLAT_D3D_OK);
  EXPECT_NE(device, 0u);
  PlatD3DFakeSetDevices({ScriptedDevice("hal", PLAT_D3DDEVTYPE_HAL)});
  PlatD3DDevice other = 0;
  EXPECT_EQ(PlatD3DCreateDevice(d3d, PLAT_D3DDEVTYPE_TNLHAL, target, &other), PLAT_D3DERR_INVALIDDEVICETYPE);
}

TEST_F(D3DFake, TheNthCallFailsWithTheChosenResultAndChangesNothing) {
  PlatD3DDevice d = Device(Target(Format565(), 8, 8));
  PlatD3DFakeFailNth("SetRenderState", 2, PLAT_D3DERR_INVALIDSTATE);
  EXPECT_EQ(PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAREF, 10), PLAT_D3D_OK);
  EXPECT_EQ(PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAREF, 20), PLAT_D3DERR_INVALIDSTATE);
  EXPECT_EQ(PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZFUNC, PLAT_D3DCMP_LESS), PLAT_D3D_OK);
  uint32_t ref = 0;
  ASSERT_EQ(PlatD3DDeviceGetRenderState(d, PLAT_D3DRS_ALPHAREF, &ref), PLAT_D3D_OK);
  EXPECT_EQ(ref, 10u);

  PlatD3DFakeLoadBusy(2);
  PlatDDSurface a = Texture(Format565(), 4, 4), b = Texture(Format565(), 4, 4);
  EXPECT_EQ(PlatD3DDeviceLoad(d, a, nullptr, b, nullptr, 0), PLAT_DDERR_SURFACEBUSY);
  EXPECT_EQ(PlatD3DDeviceLoad(d, a, nullptr, b, nullptr, 0), PLAT_DDERR_SURFACEBUSY);
  EXPECT_EQ(PlatD3DDeviceLoad(d, a, nullptr, b, nullptr, 0), PLAT_D3D_OK);
}

TEST_F(D3DFake, CallsAreRecordedWithTheirVerticesAndForwardingDraws) {
  PlatDDSurface target = Target(Format565(), 8, 8);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  PlatD3DFakeClearCalls();
  const std::vector<PlatD3DTexturedVertex> quad = Quad(0, 0, 4, 4, 0xFFFF0000);
  ASSERT_EQ(DrawList(d, quad), PLAT_D3D_OK);
  const uint16_t strip[] = {0, 1, 2, 4};
  ASSERT_EQ(PlatD3DDeviceDrawIndexedPrimitive(d, PLAT_D3DPT_TRIANGLESTRIP, PLAT_D3DFVF_TEXTUREDVERTEX, quad.data(),
                                              6, strip, 4, 0),
            PLAT_D3D_OK);
  const std::vector<PlatD3DFakeCall>& calls = PlatD3DFakeCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].operation, "DrawPrimitive");
  EXPECT_EQ(calls[0].args, (std::vector<uint32_t>{d, PLAT_D3DPT_TRIANGLELIST, PLAT_D3DFVF_TEXTUREDVERTEX, 6, 0}));
  ASSERT_EQ(calls[0].vertices.size(), quad.size() * sizeof quad[0]);
  EXPECT_EQ(std::memcmp(calls[0].vertices.data(), quad.data(), calls[0].vertices.size()), 0);
  EXPECT_EQ(calls[1].indices, (std::vector<uint16_t>{0, 1, 2, 4}));
  EXPECT_EQ(calls[1].vertices.size(), 6 * sizeof quad[0]);
  // Not forwarded: nothing drawn.
  EXPECT_EQ(Pixels(target), std::vector<uint32_t>(64, 0));

  PlatD3DFakeForward(1);
  ASSERT_EQ(DrawList(d, quad), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target)[0], 0xF800u);
  EXPECT_EQ(Pixels(target)[4], 0u);
  EXPECT_EQ(PlatD3DFakeCallNames().back(), "DrawPrimitive");
}
