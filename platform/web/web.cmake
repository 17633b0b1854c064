# The browser build, included by the top-level CMakeLists.txt under emcmake: dice
# becomes dice.html (our own page, shell.html) with dice.js, dice.wasm and dice.data
# (cube.3ds, and the die's texture when one is named), all side by side with
# relative references, so the folder can be copied to any static web host.
#
# emscripten gives GL 1.1's immediate mode through its legacy GL emulation, GLU's
# projection and GLUT in JavaScript, but no CMake targets for them; the ones the
# program links are made here. What the emulation still lacks is filled in by the
# web layer beside this file (gl_layer.cpp, mipmaps.cpp, default_texture.js), and
# the idle callback's pace by pace.js.

set(web_dir ${CMAKE_CURRENT_LIST_DIR})

# The layer defines glTexImage2D, glTexEnvf, glShadeModel and gluBuild2DMipmaps in
# C++, and the client arrays' calls (array_cache.cpp): a definition in the program
# takes the place of emscripten's JavaScript one.
add_library(dice_web_gl STATIC ${web_dir}/gl_layer.cpp ${web_dir}/mipmaps.cpp
                               ${web_dir}/array_cache.cpp)
target_include_directories(dice_web_gl PUBLIC ${web_dir})

# The page's own calls into the program (page_controls.cpp), linked into dice whole
# so that their exports stay.
target_sources(dice PRIVATE ${web_dir}/page_controls.cpp)

set(web_link_options
  -sLEGACY_GL_EMULATION=1  # glBegin/glEnd, the matrix stacks, the texture environment
  -sGL_UNSAFE_OPTS=0       # the emulation sets its GL state for every draw, guessing nothing
  -lglut
  # After -lglut: its glutIdleFunc takes the place of GLUT's own.
  --js-library=${web_dir}/pace.js
  --js-library=${web_dir}/default_texture.js
  -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=dice_default_texture
  -sALLOW_MEMORY_GROWTH=1  # a large texture gets memory, or malloc's null, as on the desktop
  # FS: the page puts the visitor's own model in place of cube.3ds; ccall: it hands
  # the program a roll's count and seed as text, for its own parsers.
  -sEXPORTED_RUNTIME_METHODS=FS,ccall
  # Debian's emscripten 3.1.6 crashes in its HTML minifier; the page is small anyway.
  -sMINIFY_HTML=0
)
add_library(OpenGL::GL INTERFACE IMPORTED)
target_link_libraries(OpenGL::GL INTERFACE dice_web_gl)
target_link_options(OpenGL::GL INTERFACE ${web_link_options})
add_library(OpenGL::GLU INTERFACE IMPORTED)
target_link_libraries(OpenGL::GLU INTERFACE OpenGL::GL)
add_library(GLUT::GLUT INTERFACE IMPORTED)
target_link_libraries(GLUT::GLUT INTERFACE OpenGL::GL)

# The files the program reads from its working directory, preloaded into
# emscripten's file system at /, where the program starts: die.bmp always, since
# the Roll button throws the die with its pips whatever the build's own die is.
set(web_preload cube.3ds die.bmp)
if(DICE_DIE_TEXTURE AND EXISTS ${PROJECT_SOURCE_DIR}/assets/${DICE_DIE_TEXTURE})
  list(APPEND web_preload ${DICE_DIE_TEXTURE})
endif()
list(REMOVE_DUPLICATES web_preload)
set(web_page_options --shell-file ${web_dir}/shell.html)
set(web_page_depends ${web_dir}/shell.html ${web_dir}/pace.js ${web_dir}/default_texture.js)
foreach(file IN LISTS web_preload)
  # One argument, so a path with spaces stays whole.
  list(APPEND web_page_options "--preload-file=${PROJECT_SOURCE_DIR}/assets/${file}@${file}")
  list(APPEND web_page_depends ${PROJECT_SOURCE_DIR}/assets/${file})
endforeach()
target_link_options(dice PRIVATE ${web_page_options})
list(JOIN web_page_depends ";" web_page_depends)
set_target_properties(dice PROPERTIES SUFFIX .html LINK_DEPENDS "${web_page_depends}")

# Debian's emscripten reads Debian's own node modules (acorn) from
# /usr/share/nodejs, which a node that is not Debian's does not search.
if(IS_DIRECTORY /usr/share/nodejs/acorn)
  set(node_path /usr/share/nodejs)
  if(DEFINED ENV{NODE_PATH})
    string(APPEND node_path ":$ENV{NODE_PATH}")
  endif()
  set_target_properties(dice PROPERTIES CXX_LINKER_LAUNCHER
                                        "${CMAKE_COMMAND};-E;env;NODE_PATH=${node_path}")
endif()

set_target_properties(make_assets PROPERTIES EXCLUDE_FROM_ALL ON)
set(BUILD_TESTING OFF)
set(DICE_BENCH OFF)
dice_left_out("the tests, fuzz replays and benchmarks"
              "native build: tools/web.sh check tests the page")
