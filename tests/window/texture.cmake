# The BMP loader on real GL: textures read back from a window, and the die's
# atlas drawn on the die. Two executables from one source, because each needs
# its process's first texture name.
foreach(part readback die)
  set(target texture_window_${part}_test)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/texture_window_test.cpp)
  target_link_libraries(${target} PRIVATE dice_core test_support OpenGL::GL OpenGL::GLU GLUT::GLUT
                                          GTest::gtest)
  target_link_options(${target} PRIVATE -Wl,--wrap=glutSwapBuffers -Wl,--wrap=gluBuild2DMipmaps)
  target_compile_definitions(${target} PRIVATE
                             DICE_ASSETS_DIR="${CMAKE_CURRENT_LIST_DIR}/../../assets")
  add_window_test(texture_window_${part} $<TARGET_FILE:${target}>)
endforeach()
target_compile_definitions(texture_window_readback_test PRIVATE DIE_TEXTURE=0)
target_compile_definitions(texture_window_die_test PRIVATE DIE_TEXTURE=1)
