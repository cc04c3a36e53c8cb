// PNG reading for the browser checks: 8-bit RGB or RGBA, not interlaced (what Chromium's
// screenshots are). Returns { width, height, channels, pixels }.

import { inflateSync } from "node:zlib";

export function decodePng(buffer) {
  const PNG_SIGNATURE_LENGTH = 8;
  let at = PNG_SIGNATURE_LENGTH;
  let width, height, channels;
  const idat = [];
  while (at < buffer.length) {
    const length = buffer.readUInt32BE(at);
    const type = buffer.toString("ascii", at + 4, at + 8);
    const data = buffer.subarray(at + 8, at + 8 + length);
    if (type === "IHDR") {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      const [bitDepth, colourType, , , interlace] = data.subarray(8, 13);
      const channelsByType = { 2: 3, 6: 4 };
      channels = channelsByType[colourType];
      if (bitDepth !== 8 || !channels || interlace !== 0) {
        throw new Error(`unexpected PNG format (depth ${bitDepth}, colour type ${colourType})`);
      }
    } else if (type === "IDAT") {
      idat.push(data);
    }
    at += 12 + length; // length, type, data, CRC
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const pixels = Buffer.alloc(height * stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = y * stride;
    for (let i = 0; i < stride; i++) {
      const left = i >= channels ? pixels[out + i - channels] : 0;
      const up = y > 0 ? pixels[out - stride + i] : 0;
      const upLeft = y > 0 && i >= channels ? pixels[out - stride + i - channels] : 0;
      let predictor;
      switch (filter) {
        case 0: predictor = 0; break;
        case 1: predictor = left; break;
        case 2: predictor = up; break;
        case 3: predictor = (left + up) >> 1; break;
        case 4: {
          const p = left + up - upLeft;
          const pa = Math.abs(p - left), pb = Math.abs(p - up), pc = Math.abs(p - upLeft);
          predictor = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
          break;
        }
        default: throw new Error(`bad PNG filter ${filter}`);
      }
      pixels[out + i] = (line[i] + predictor) & 0xff;
    }
  }
  return { width, height, channels, pixels };
}
