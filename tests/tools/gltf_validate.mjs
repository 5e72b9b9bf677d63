// Runs the Khronos glTF validator on each file given; one line per file, and exit status 1
// when any has an error or a warning (the issues are printed then).
// Usage: node gltf_validate.mjs NODE_MODULES_DIR FILE.glb...
import fs from 'fs';
import path from 'path';
import { createRequire } from 'module';

const require = createRequire(path.join(process.argv[2], 'x.js'));
const validator = require('gltf-validator');
let bad = false;
for (const file of process.argv.slice(3)) {
  const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)));
  const i = report.issues;
  console.log(`${file}: ${i.numErrors} errors, ${i.numWarnings} warnings, ${i.numInfos} infos, ` +
              `${i.numHints} hints (gltf-validator ${report.validatorVersion})`);
  if (i.numErrors > 0 || i.numWarnings > 0) {
    console.log(JSON.stringify(i.messages, null, 1));
    bad = true;
  }
}
process.exit(bad ? 1 : 0);
