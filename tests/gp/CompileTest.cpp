#include <gtest/gtest.h>

#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

TEST(GetCodeTest, ExampleProgramCompilesToItsCodeString) {
    TempFile file("PROG2 ( GDIVIDE ( 0 )        < divide when parameter 0 is full >\n"
                  "        ADDPAR ( 0 1.0 ) )   < and keep filling it >\n");
    EXPECT_EQ(GPmanager::GetInstance()->GetCode(file.Path()), "2,16+1,6+0,0,0+2,3+0,0,0+0,0,1+");
}

}  // namespace
}  // namespace qm
