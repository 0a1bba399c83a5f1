#!/usr/bin/env node
// Validates every *.graphql file of a folder against GitHub's published schema
// (@octokit/graphql-schema) with graphql-js's own `validate`. Prints one line
// per problem ("FILE: message (line:column)") and exits 1 when there is any,
// 2 when the folder holds no document.
import fs from 'node:fs';
import path from 'node:path';
import { buildClientSchema, parse, validate } from 'graphql';
import { schema as published } from '@octokit/graphql-schema';

const folder = process.argv[2];
if (!folder) {
  console.error('usage: validate.mjs FOLDER');
  process.exit(2);
}
// The introspection result, as the package's own validator reads it.
const schema = buildClientSchema(published.json);

const files = fs.readdirSync(folder).filter((name) => name.endsWith('.graphql')).sort();
if (files.length === 0) {
  console.error(`no .graphql documents in ${folder}`);
  process.exit(2);
}
let problems = 0;
for (const name of files) {
  const text = fs.readFileSync(path.join(folder, name), 'utf8');
  let errors;
  try {
    errors = validate(schema, parse(text));
  } catch (error) {
    errors = [error];
  }
  for (const error of errors) {
    const where = (error.locations || []).map((l) => `${l.line}:${l.column}`).join(', ');
    console.log(`${name}: ${error.message}${where ? ` (${where})` : ''}`);
    problems += 1;
  }
}
console.log(`${files.length} documents, ${problems} problems`);
process.exit(problems === 0 ? 0 : 1);
