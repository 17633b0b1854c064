// Texture 0 as desktop GL has it: a texture object of its own, bound on every unit
// until another is, that draws as untextured white while nothing has been uploaded
// to it and holds a real image once something is. WebGL has no such object (its
// texture 0 is "none", which samples black), so one stands in for it from the
// moment the context exists: a 1 x 1 white image, under the name 0 in emscripten's
// table, where glBindTexture and glTexImage2D find it like any other. The legacy
// GL emulation keeps no table of textures of its own, so it needs telling nothing.
mergeInto(LibraryManager.library, {
  dice_default_texture__deps: ['$GL', '$Browser'],
  dice_default_texture__postset:
    'Browser.moduleContextCreatedCallbacks.push(_dice_default_texture);',
  dice_default_texture: function() {
    var texture = GLctx.createTexture();
    texture.name = 0;
    GL.textures[0] = texture;
    var units = GLctx.getParameter(GLctx.MAX_COMBINED_TEXTURE_IMAGE_UNITS);
    for (var unit = units - 1; unit >= 0; unit--) {
      GLctx.activeTexture(GLctx.TEXTURE0 + unit);
      GLctx.bindTexture(GLctx.TEXTURE_2D, texture);
    }
    // Left on unit 0, the unit a new context has active.
    GLctx.texImage2D(GLctx.TEXTURE_2D, 0, GLctx.RGBA, 1, 1, 0, GLctx.RGBA, GLctx.UNSIGNED_BYTE,
                     new Uint8Array([255, 255, 255, 255]));
  },
});
