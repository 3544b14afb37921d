# ORLIX_SANITIZE=address,undefined or thread: instrument everything built here.
if(ORLIX_SANITIZE)
  add_compile_options(-fsanitize=${ORLIX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ORLIX_SANITIZE})
endif()
