// The validator's tests; ValidatorTests() lists them with their levels and descriptions.
#pragma once

namespace VLM {

class CTestContext;

void TestIdentity(CTestContext& test);
void TestEntryPoints(CTestContext& test);
void TestIdentityTexts(CTestContext& test);
void TestLocale(CTestContext& test);
void TestPrograms(CTestContext& test);
void TestParameters(CTestContext& test);
void TestState(CTestContext& test);
void TestEditor(CTestContext& test);
void TestAudio(CTestContext& test);
void TestAutomation(CTestContext& test);
void TestEditorWhileProcessing(CTestContext& test);
void TestEditorAutomation(CTestContext& test);
void TestRateChange(CTestContext& test);
void TestStateRestore(CTestContext& test);
void TestParameterFuzz(CTestContext& test);
void TestEditorStress(CTestContext& test);
void TestThreads(CTestContext& test);
void TestStateResave(CTestContext& test);
void TestLargeBlock(CTestContext& test);
void TestAllocation(CTestContext& test);
void TestDispatcherFuzz(CTestContext& test);

} // namespace VLM
